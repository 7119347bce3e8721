// The program as a hostile user and an unlucky machine meet it: it never holds the
// screen hostage, never loses the user's settings, never replaces what is not its
// own, and names every picture it cannot use. One test per way it once failed.
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "AmbrelProgram.h"
#include "X11TestSupport.h"
#include "XvfbServer.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A GIF whose image data is all zeros up to the given size (a sparse file):
// GdkPixbuf's decoder crawls through it at 2 MB a second.
void WriteZeroFilledGif(const std::string& path, off_t size) {
  const char head[] =
      "GIF89a\x40\x00\x40\x00\x80\x00\x00"   // 64 x 64, a global table of two colours
      "\x00\x00\x00\xff\xff\xff"             // black, white
      "\x2c\x00\x00\x00\x00\x40\x00\x40\x00\x00"  // one image, the whole screen
      "\x02";                                // LZW minimum code size
  std::ofstream(path, std::ios::binary).write(head, sizeof head - 1);
  ASSERT_EQ(truncate(path.c_str(), size), 0);
}

using AmbrelReliability = AmbrelProgramTest;

TEST_F(AmbrelReliability, AHostilePictureIsGivenUpWithinItsBudget) {
  WriteZeroFilledGif(dir + "/zeros.gif", 64 << 20);
  WriteZeroFilledGif(dir + "/sparse.gif", off_t(20) << 30);
  for (const auto& [name, reason, seconds] :
       {std::tuple{"sparse.gif", "larger than 256 MB", 1.0}, std::tuple{"zeros.gif", "more than 4 seconds", 6.0}}) {
    SCOPED_TRACE(name);
    const Clock::time_point start = Clock::now();
    Outcome run = Ambrel({"--frames", "1", "--size", "16x16", "--background", name});
    EXPECT_LT(SecondsSince(start), seconds);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
  }
}

}  // namespace
