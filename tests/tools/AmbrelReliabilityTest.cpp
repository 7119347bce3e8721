// The program as a hostile user and an unlucky machine meet it: it never holds the
// screen hostage, never loses the user's settings, never replaces what is not its
// own, and names every picture it cannot use. One test per way it once failed.
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <tuple>

#include "AmbrelProgram.h"
#include "X11TestSupport.h"
// After the test support, which tames Xlib's macros.
#include <X11/extensions/XTest.h>
#include "XvfbServer.h"

namespace ambrel {

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

bool IsA(const std::string& path, mode_t type) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == type;
}

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

// The shipped resources, with the pack damaged: its header ("header") or the
// type of its first image ("image").
std::string DamagedResources(const std::string& folder, const std::string& what) {
  const std::string shipped = std::getenv("AMBREL_RESOURCES");
  mkdir(folder.c_str(), 0755);
  EXPECT_EQ(symlink((shipped + "/fallback.png").c_str(), (folder + "/fallback.png").c_str()), 0);
  std::string pack = ReadFile(shipped + "/morvish.tallowyn");
  EXPECT_GT(pack.size(), 24u);
  if (what == "header") {
    pack[3] = 'X';
  } else {
    auto u32 = [&](size_t at) {
      return uint32_t(uint8_t(pack[at])) | uint32_t(uint8_t(pack[at + 1])) << 8 |
             uint32_t(uint8_t(pack[at + 2])) << 16 | uint32_t(uint8_t(pack[at + 3])) << 24;
    };
    const uint32_t directory = u32(20);
    for (uint32_t lump = 0; lump < u32(12); ++lump)
      if (u32(directory + lump * 28 + 8) == 1) {  // an image
        pack[u32(directory + lump * 28 + 4) + 2] = 42;  // a TGA type that is neither 2 nor 10
        break;
      }
  }
  EXPECT_TRUE(WriteFile(folder + "/morvish.tallowyn", pack));
  return folder;
}

using AmbrelReliability = AmbrelProgramTest;

class AmbrelReliabilityOnADisplay : public AmbrelProgramTest {
 protected:
  void SetUp() override {
    AmbrelProgramTest::SetUp();
    std::string error;
    ASSERT_TRUE(server.Start({"-screen", "0", "640x480x24"}, &error)) << error;
    display = std::make_unique<TestDisplay>(server.name());
    ASSERT_TRUE(display->get());
  }
  std::vector<std::string> Environment(const std::string& resources) {
    return {"DISPLAY=" + server.name(), "XDG_CONFIG_HOME=" + config, "HOME=" + config, "XSCREENSAVER_WINDOW",
            "AMBREL_RESOURCES=" + resources};
  }
  // A window anywhere on the display whose title is name, and whether it shows.
  bool FindWindow(const std::string& name, bool* mapped) {
    const Window window = FindWindowNamed(*display, display->root(), name);
    XWindowAttributes attributes;
    *mapped = window && XGetWindowAttributes(*display, window, &attributes) && attributes.map_state == IsViewable;
    return window != None;
  }
  bool DialogShows(const std::string& title) {
    bool mapped = false;
    return FindWindow(title, &mapped) && mapped;
  }
  // Frames drawn, seen as the screen changing twice; the second began after
  // whatever reached the program before this was called.
  bool DrawsFrames() {
    std::vector<uint32_t> before = ReadRgb(*display, display->root(), 0, 0, 640, 480);
    int changes = 0;
    for (const Clock::time_point start = Clock::now(); changes < 2 && SecondsSince(start) < 20;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      std::vector<uint32_t> now = ReadRgb(*display, display->root(), 0, 0, 640, 480);
      if (now != before) ++changes;
      before = std::move(now);
    }
    return changes == 2;
  }
  // How far the program has read into the file at path (-1 while it has it not open).
  static long long ReadOffset(pid_t pid, const std::string& path) {
    const std::string process = "/proc/" + std::to_string(pid);
    std::error_code error;
    for (std::filesystem::directory_iterator it(process + "/fd", error), end; !error && it != end; it.increment(error)) {
      if (std::filesystem::read_symlink(it->path(), error) != path) continue;
      std::ifstream info(process + "/fdinfo/" + it->path().filename().string());
      std::string field;
      long long offset = -1;
      info >> field >> offset;  // "pos: N"
      return offset;
    }
    return -1;
  }
  // Whether signal reaches the process's main thread at once: neither blocked
  // there nor ignored (caught, or left to end the process).
  static bool TakesAtOnce(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    unsigned long long held = 0;
    for (std::string line; std::getline(status, line);)
      if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigIgn:", 0) == 0) held |= std::stoull(line.substr(7), nullptr, 16);
    return !(held & (1ULL << (signal - 1)));
  }
  // Sends SIGTERM and waits for the end: the status, or -1 on a hang. The
  // handlers end the process at once when no event loop listens (status 128 +
  // SIGTERM); a listening loop ends the run itself (0), or its grace timer does.
  int EndOnSigterm(ChildProcess& ambrel) {
    ambrel.Signal(SIGTERM);
    return ambrel.Wait(20);
  }

  XvfbServer server;
  std::unique_ptr<TestDisplay> display;
};

TEST_F(AmbrelReliabilityOnADisplay, NoDialogOverTheFullScreenAndSigtermEndsEveryPhase) {
  const std::string resources = DamagedResources(dir + "/resources", "image");
  const char* title = "Invalid Image";
  {
    SCOPED_TRACE("full screen: the alert is a line on stderr, the start-up goes on");
    ChildProcess ambrel;
    ASSERT_TRUE(ambrel.Start(AMBREL_PROGRAM, {}, Environment(resources)));
    ASSERT_TRUE(ambrel.WaitForErrors(std::string("ambrel: ") + title + ": TGA file", 20)) << ambrel.errors();
    EXPECT_TRUE(DrawsFrames()) << "the start-up stopped at the alert";
    bool mapped = false;
    EXPECT_FALSE(FindWindow(title, &mapped)) << "a dialog was made over the grabbed screen";
    EXPECT_EQ(EndOnSigterm(ambrel), 0) << "the event loop did not end the run: " << ambrel.errors();
  }
  {
    SCOPED_TRACE("in a window: a person can answer the dialog, and SIGTERM still ends it");
    ChildProcess ambrel;
    ASSERT_TRUE(ambrel.Start(AMBREL_PROGRAM, {"--window", "200x150"}, Environment(resources)));
    const Clock::time_point start = Clock::now();
    while (!DialogShows(title) && SecondsSince(start) < 20) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(DialogShows(title)) << ambrel.errors();
    // The alert's own loop does not listen: the handlers end the process.
    EXPECT_EQ(EndOnSigterm(ambrel), 128 + SIGTERM) << ambrel.errors();
  }
  {
    SCOPED_TRACE("full screen, while a damaged picture is being decoded");
    const std::string slow = dir + "/slow.gif";
    WriteZeroFilledGif(slow, 64 << 20);
    ChildProcess ambrel;
    ASSERT_TRUE(ambrel.Start(AMBREL_PROGRAM, {"--background", slow}, Environment(std::getenv("AMBREL_RESOURCES"))));
    // Past the first chunk the decoder reads: the decoding has begun.
    auto decoderOffset = [&] {
      const std::set<pid_t> decoders = PictureDecodersOf(ambrel.pid(), slow);
      return decoders.empty() ? -1 : ReadOffset(*decoders.begin(), slow);
    };
    const Clock::time_point start = Clock::now();
    while (decoderOffset() <= 65536 && ambrel.Running() && SecondsSince(start) < 20)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GT(decoderOffset(), 65536) << ambrel.errors();
    const pid_t decoder = *PictureDecodersOf(ambrel.pid(), slow).begin();
    EXPECT_TRUE(TakesAtOnce(ambrel.pid(), SIGTERM)) << "the wait for the decoder holds SIGTERM back";
    EXPECT_EQ(EndOnSigterm(ambrel), 128 + SIGTERM) << ambrel.errors();
    // The decoder goes with the program that asked for the picture.
    for (int attempt = 0; attempt < 200 && kill(decoder, 0) == 0; ++attempt)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_NE(kill(decoder, 0), 0) << "the picture's decoder outlived the program";
  }
}

// The children a process has not reaped yet, running or not.
std::vector<pid_t> ChildrenOf(pid_t pid) {
  std::ifstream list("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  std::vector<pid_t> children;
  for (pid_t child; list >> child;) children.push_back(child);
  return children;
}

// An OpenGL driver that never answers auto's probe (GLVND loads it and it waits
// for ever): SIGTERM ends the wait at once and takes the probe with it; left
// alone, the probe is given up, killed and reaped, and the CPU renderer chosen.
TEST_F(AmbrelReliabilityOnADisplay, AHungOpenGLDriverIsGivenUpAndSigtermEndsTheWaitForIt) {
  const std::string vendor = dir + "/hung.json";
  ASSERT_TRUE(WriteFile(vendor, std::string("{\"file_format_version\": \"1.0.0\", \"ICD\": {\"library_path\": \"") +
                                    HUNG_EGL_VENDOR + "\"}}\n"));
  std::vector<std::string> env = Environment(std::getenv("AMBREL_RESOURCES"));
  env.push_back("__EGL_VENDOR_LIBRARY_FILENAMES=" + vendor);
  {
    SCOPED_TRACE("SIGTERM while the probe hangs");
    ChildProcess ambrel;
    ASSERT_TRUE(ambrel.Start(AMBREL_PROGRAM, {"--window", "200x150", "-fps"}, env));
    const Clock::time_point start = Clock::now();
    while (ChildrenOf(ambrel.pid()).empty() && ambrel.Running() && SecondsSince(start) < 20)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const std::vector<pid_t> probes = ChildrenOf(ambrel.pid());
    ASSERT_EQ(probes.size(), 1u) << ambrel.errors();
    EXPECT_TRUE(TakesAtOnce(ambrel.pid(), SIGTERM)) << "the wait for the probe holds SIGTERM back";
    // Ended by the signal, not by the window's loop (0) after the probe.
    EXPECT_EQ(EndOnSigterm(ambrel), 128 + SIGTERM) << ambrel.errors();
    EXPECT_EQ(ambrel.errors().find("drawing with"), std::string::npos) << ambrel.errors();
    for (int attempt = 0; attempt < 200 && kill(probes.front(), 0) == 0; ++attempt)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_NE(kill(probes.front(), 0), 0) << "the probe outlived the program";
  }
  {
    SCOPED_TRACE("the probe given up");
    ChildProcess ambrel;
    ASSERT_TRUE(ambrel.Start(AMBREL_PROGRAM, {"--window", "200x150", "-fps"}, env));
    ASSERT_TRUE(ambrel.WaitForErrors("ambrel: drawing with the CPU renderer (no OpenGL context)", 30))
        << ambrel.errors();
    EXPECT_TRUE(ChildrenOf(ambrel.pid()).empty()) << "the probe was left behind";
    EXPECT_TRUE(DrawsFrames());
    EXPECT_EQ(EndOnSigterm(ambrel), 0) << ambrel.errors();
  }
}

// Over two monitors, with a folder whose one picture takes a minute to decode.
TEST_F(AmbrelReliabilityOnADisplay, AKeyEndsTheSaverWhileAPictureDecodesAndThePictureIsDecodedOnce) {
  ASSERT_TRUE(SetSideBySideMonitors(*display, 320));
  ASSERT_EQ(mkdir((dir + "/slow").c_str(), 0755), 0);
  ASSERT_TRUE(WriteSlowProgressiveJpeg(dir + "/slow/slow.jpg"));
  const std::vector<std::string> args = {"--folder", dir + "/slow"};
  const std::string slow = dir + "/slow/slow.jpg";
  {
    SCOPED_TRACE("a key while the picture decodes");
    ChildProcess ambrel;
    ASSERT_TRUE(ambrel.Start(AMBREL_PROGRAM, args, Environment(std::getenv("AMBREL_RESOURCES"))));
    const Clock::time_point start = Clock::now();
    while (PictureDecodersOf(ambrel.pid(), slow).empty() && ambrel.Running() && SecondsSince(start) < 20)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::set<pid_t> decoders = PictureDecodersOf(ambrel.pid(), slow);
    ASSERT_FALSE(decoders.empty()) << "no picture is decoding apart: " << ambrel.errors();
    // Held stopped, the decoder cannot finish: the key ends the run before the
    // wait for the picture is given up, which would say so.
    for (pid_t decoder : decoders) kill(decoder, SIGSTOP);
    XTestFakeKeyEvent(*display, XKeysymToKeycode(*display, XK_space), True, 0);
    XTestFakeKeyEvent(*display, XKeysymToKeycode(*display, XK_space), False, 0);
    XSync(*display, False);
    EXPECT_EQ(ambrel.Wait(20), 0) << ambrel.errors();
    EXPECT_EQ(ambrel.errors().find("takes more than"), std::string::npos) << ambrel.errors();
    for (pid_t decoder : decoders) kill(decoder, SIGKILL);
  }
  {
    SCOPED_TRACE("both monitors show the shipped picture after one decode given up");
    ChildProcess ambrel;
    ASSERT_TRUE(ambrel.Start(AMBREL_PROGRAM, args, Environment(std::getenv("AMBREL_RESOURCES"))));
    auto shows = [&](int x) {
      for (uint32_t pixel : ReadRgb(*display, display->root(), x + 150, 230, 20, 20))
        if (pixel != 0) return true;
      return false;
    };
    std::set<pid_t> decoders;
    const Clock::time_point start = Clock::now();
    while (!(shows(0) && shows(320)) && ambrel.Running() && SecondsSince(start) < 30) {
      for (pid_t pid : PictureDecodersOf(ambrel.pid(), slow)) decoders.insert(pid);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(shows(0) && shows(320)) << ambrel.errors();
    EXPECT_EQ(decoders.size(), 1u);
    const std::string named = "ambrel: cannot show the picture \"" + slow + "\": it takes more than 4";
    EXPECT_TRUE(ambrel.WaitForErrors(named, 10)) << ambrel.errors();
    EXPECT_EQ(EndOnSigterm(ambrel), 0) << ambrel.errors();
    EXPECT_EQ(ambrel.errors().find(named, ambrel.errors().find(named) + 1), std::string::npos) << ambrel.errors();
  }
}

TEST_F(AmbrelReliability, OutputNeverReplacesWhatIsNotARegularFile) {
  const std::vector<std::string> render = {"--frames", "1", "--size", "16x16", "--seed", "1", "--output"};
  auto to = [&](const std::string& output) {
    std::vector<std::string> args = render;
    args.push_back(output);
    return Ambrel(args);
  };
  ASSERT_EQ(mkfifo((dir + "/fifo.png").c_str(), 0644), 0);
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s/socket.png", dir.c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(symlink("/dev/null", (dir + "/null.png").c_str()), 0);
  ASSERT_EQ(symlink("nowhere/frame.png", (dir + "/dangling.png").c_str()), 0);
  for (const char* name : {"fifo.png", "socket.png", "null.png", "dangling.png"}) {
    SCOPED_TRACE(name);
    Outcome run = to(name);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find(name), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("rendering"), std::string::npos) << "refused only after the render: " << run.err;
  }
  close(listener);
  EXPECT_TRUE(IsA(dir + "/fifo.png", S_IFIFO));
  EXPECT_TRUE(IsA(dir + "/socket.png", S_IFSOCK));
  EXPECT_TRUE(IsA(dir + "/null.png", S_IFLNK));
  EXPECT_TRUE(IsA("/dev/null", S_IFCHR));

  // A link to a regular file writes that file and stays a link.
  ASSERT_TRUE(WriteFile(dir + "/real.png", "an older frame"));
  ASSERT_EQ(symlink("real.png", (dir + "/link.png").c_str()), 0);
  ASSERT_EQ(to("link.png").status, 0);
  EXPECT_TRUE(IsA(dir + "/link.png", S_IFLNK));
  EXPECT_EQ(ReadPng(dir + "/real.png").width, 16u);

  // "-" is standard output.
  Outcome piped = to("-");
  ASSERT_EQ(piped.status, 0) << piped.err;
  ASSERT_TRUE(WriteFile(logDir + "/piped.png", piped.out));
  EXPECT_EQ(ReadPng(logDir + "/piped.png").width, 16u);
  EXPECT_FALSE(IsA(dir + "/-", S_IFREG));
}

TEST_F(AmbrelReliability, AHostilePictureIsGivenUpWithinItsBudget) {
  WriteZeroFilledGif(dir + "/zeros.gif", 64 << 20);
  WriteZeroFilledGif(dir + "/sparse.gif", off_t(20) << 30);
  ASSERT_TRUE(WriteSlowProgressiveJpeg(dir + "/scans.jpg"));
  // The reasons tell which limit ended the reading: the size, checked before a
  // byte is read, and the decoder's time budget.
  for (const auto& [name, reason] :
       {std::pair{"sparse.gif", "larger than 256 MB"}, std::pair{"zeros.gif", "more than 4 seconds"},
        std::pair{"scans.jpg", "more than 4 seconds"}}) {
    SCOPED_TRACE(name);
    Outcome run = Ambrel({"--frames", "1", "--size", "16x16", "--background", name});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
  }
}

TEST_F(AmbrelReliability, EveryWrongPictureIsNamed) {
  ASSERT_TRUE(WriteFile(dir + "/empty.png", ""));
  ASSERT_TRUE(WriteFile(dir + "/words.png", "not a picture"));
  ASSERT_TRUE(WriteStripedPng(dir + "/whole.png", 64, 64, 0xe02020));
  std::string broken = ReadFile(dir + "/whole.png");
  broken[18] ^= 0x40;  // the width, which its checksum no longer matches
  ASSERT_TRUE(WriteFile(dir + "/broken.png", broken));
  // Cut inside its image data: GdkPixbuf closes it without a word, rows blank.
  ASSERT_TRUE(WriteFile(dir + "/cut.png", ReadFile(std::string(std::getenv("AMBREL_RESOURCES")) + "/fallback.png")
                                              .substr(0, 100)));
  ASSERT_EQ(mkdir((dir + "/folder.png").c_str(), 0755), 0);
  std::string deep = dir;
  while (deep.size() < 1030) {
    deep += "/" + std::string(200, 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
  }
  ASSERT_TRUE(WriteStripedPng(deep + "/red.png", 16, 16, 0xe02020));
  for (const auto& [picture, reason] :
       std::vector<std::pair<std::string, std::string>>{{"empty.png", "is empty"},
                                                         {"words.png", "is not a PNG, JPEG, GIF or WebP picture"},
                                                         {"broken.png", "is damaged"},
                                                         {"cut.png", "is cut short"},
                                                         {"folder.png", "is not a regular file"},
                                                         {deep + "/red.png", "1023 is the most"}}) {
    SCOPED_TRACE(reason);
    Outcome run = Ambrel({"--frames", "1", "--size", "16x16", "--output", "out.png", "--background", picture});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
  }

  Outcome pack = Ambrel({"--frames", "1", "--size", "16x16", "--output", "out.png"},
                        {"AMBREL_RESOURCES=" + DamagedResources(logDir + "/resources", "header")});
  EXPECT_EQ(pack.status, 1);
  EXPECT_NE(pack.err.find("the data pack"), std::string::npos) << pack.err;

  ASSERT_EQ(mkdir((config + "/ambrel").c_str(), 0700), 0);
  for (const auto& [stored, used] : {std::pair{"7", "2"}, std::pair{"-1", "0"}}) {
    ASSERT_TRUE(WriteFile(StorePath(), std::string("[kvAmbrel]\nversion=1.0.4\nBGType=") + stored + "\n"));
    Outcome run = Ambrel({"--window", "--print-settings"});
    EXPECT_NE(run.out.find(std::string("BGType ") + used + "\n"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(std::string("stored BGType ") + stored), std::string::npos) << run.err;
  }

  // Folders of one and two characters are folders like any other.
  ASSERT_EQ(mkdir((dir + "/ab").c_str(), 0755), 0);
  ASSERT_TRUE(WriteStripedPng(dir + "/ab/green.png", 64, 64, 0x20d030));
  for (const auto& [folder, channel] : {std::pair{".", 0}, std::pair{"ab", 1}}) {
    SCOPED_TRACE(folder);
    for (const char* stale : {"whole.png", "broken.png", "cut.png", "empty.png", "words.png", "out.png"})
      std::remove((dir + "/" + stale).c_str());
    rmdir((dir + "/folder.png").c_str());
    ASSERT_TRUE(WriteStripedPng(dir + "/red.png", 64, 64, 0xe02020));
    ASSERT_EQ(Ambrel({"--frames", "20", "--size", "64x48", "--folder", folder, "--output", logDir + "/out.png"}).status,
              0);
    EXPECT_GT(ShareDominatedBy(ReadPng(logDir + "/out.png"), channel), 0.9);
  }
}

// Under a memory limit a frame that does not fit is said to be so, not an abort,
// and a picture whose pixels do not fit is not called damaged.
TEST_F(AmbrelReliability, WhatDoesNotFitInMemoryIsSaidSo) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's shadow memory does not fit under a memory limit";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "the sanitizer's shadow memory does not fit under a memory limit";
#endif
#endif
  // A PNG of 8192 x 8192 that ends after its first rows: damaged, but its 192 MB
  // of pixels are asked for first.
  const std::string rows(4 * (8192 * 3 + 1), '\0');
  std::string packed(compressBound(rows.size()), '\0');
  uLongf packedSize = packed.size();
  ASSERT_EQ(compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                     reinterpret_cast<const Bytef*>(rows.data()), rows.size()), Z_OK);
  packed.resize(packedSize - 4);  // no Adler checksum: the stream is cut
  auto chunk = [](const std::string& type, const std::string& data) {
    auto u32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    const std::string body = type + data;
    return u32(uint32_t(data.size())) + body +
           u32(uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
  };
  const std::string header("\x00\x00\x20\x00\x00\x00\x20\x00\x08\x02\x00\x00\x00", 13);
  const std::string picture = dir + "/cut.png";
  ASSERT_TRUE(WriteFile(picture, "\x89PNG\r\n\x1a\n" + chunk("IHDR", header) + chunk("IDAT", packed) +
                                   chunk("IEND", "")));
  const std::vector<std::string> withPicture = {"--frames", "1", "--size", "16x16", "--background", picture};
  EXPECT_NE(Ambrel(withPicture).err.find("is damaged"), std::string::npos);

  addressSpaceLimit = 150000L << 10;
  Outcome refused = Ambrel(withPicture);
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("cut.png\": it cannot be decoded: there is not enough memory"), std::string::npos)
      << refused.err;

  // The CPU renderer needs far less than OpenGL for the same frame: each gets a
  // frame that does not fit.
  for (const auto& [renderer, size, limit] : {std::tuple{"gl", "4096x4096", 600000L << 10},
                                             std::tuple{"cpu", "8192x8192", 400000L << 10}}) {
    addressSpaceLimit = limit;
    Outcome frame = Ambrel({"--size", size, "--frames", "2", "--renderer", renderer, "--output", "frame.png"});
    EXPECT_EQ(frame.status, 1) << frame.err;
    EXPECT_NE(frame.err.find("ambrel: not enough memory "), std::string::npos) << frame.err;
    EXPECT_NE(frame.err.find(std::string(" ") + size + " frame"), std::string::npos) << frame.err;
    EXPECT_EQ(Files(), std::set<std::string>{"cut.png"});
  }
}

TEST_F(AmbrelReliability, AnOutputThatCannotBeWrittenIsRefusedBeforeTheRenderAndNothingIsLeftBehind) {
  const std::string longest(251, 'n'), tooLong(300, 'n');
  Outcome refused = Ambrel({"--frames", "1", "--size", "16x16", "--output", tooLong + ".png"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err.find("rendering"), std::string::npos) << refused.err;
  Outcome fits = Ambrel({"--frames", "1", "--size", "16x16", "--output", longest + ".png"});
  EXPECT_EQ(fits.status, 0) << fits.err;
  EXPECT_EQ(Files(), std::set<std::string>{longest + ".png"});

  if (geteuid() == 0) {
    // Another user's file in a sticky folder can be neither replaced nor renamed over.
    char pattern[] = "/tmp/ambrel-sticky-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string sticky = pattern;
    ASSERT_EQ(chmod(sticky.c_str(), 01777), 0);
    ASSERT_TRUE(WriteFile(sticky + "/theirs.png", "their frame"));
    ASSERT_EQ(chown((sticky + "/theirs.png").c_str(), 1, 1), 0);
    ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
    Outcome run = Ambrel({"--frames", "1", "--size", "16x16", "--output", sticky + "/theirs.png"}, {}, 0, 65534);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("another user"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("rendering"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(sticky + "/theirs.png"), "their frame");
    std::remove((sticky + "/theirs.png").c_str());
    rmdir(sticky.c_str());
  }

  // Interrupted while a frame is being written, by any signal that ends a program
  // (a closed terminal, a CPU limit, ...): the temporary file goes too.
  std::remove((dir + "/" + longest + ".png").c_str());
  const int endings[] = {SIGINT, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGXCPU};
  for (int attempt = 0; attempt < int(std::size(endings)); ++attempt) {
    SCOPED_TRACE(strsignal(endings[attempt]));
    ChildProcess ambrel;
    ASSERT_TRUE(ambrel.Start(AMBREL_PROGRAM,
                             {"--size", "1024x1024", "--seconds", "1000", "--every", "1", "--output", dir + "/f.png"},
                             {"DISPLAY"}));
    // The first attempt while the folder is tried before the render, the others while a frame is written.
    bool caught = false;
    for (const Clock::time_point start = Clock::now(); !caught && SecondsSince(start) < 20;) {
      const std::set<std::string> names = Files();
      const bool rendering = names.count("f-000001.png") > 0;
      for (const std::string& name : names) caught = caught || (name[0] == '.' && (attempt == 0 || rendering));
      if (!caught) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(caught) << ambrel.errors();
    ambrel.Signal(endings[attempt]);
    EXPECT_EQ(ambrel.Wait(10), 128 + endings[attempt]);
    for (const std::string& name : Files()) {
      EXPECT_NE(name[0], '.') << name << " was left behind";
      std::remove((dir + "/" + name).c_str());
    }
  }
}

}  // namespace

}  // namespace ambrel
