#include <fcntl.h>
#include <gtest/gtest.h>

#include "TestFolders.h"
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "support/Misc.h"

namespace ambrel {

namespace {

class DiagnosticsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
    path_ = dir_ + "/debug.txt";
    SetDiagnosticPath(path_.c_str());
  }
  void TearDown() override {
    SetDiagnosticPath(nullptr);
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  TempFolder folder_{"debug"};
  const std::string dir_ = folder_.path();
  std::string path_;
};

TEST_F(DiagnosticsTest, DefaultPathIsSharedAndRestorable) {
#ifdef __APPLE__
  const std::string expected = "/Users/Shared/debug.txt";
#else
  const std::string expected = "/tmp/debug.txt";
#endif
  EXPECT_EQ(DiagnosticPath(), path_);
  SetDiagnosticPath(nullptr);
  EXPECT_EQ(DiagnosticPath(), expected);
}

TEST_F(DiagnosticsTest, NumbersAccumulateAndTextReplaces) {
  DEBUG(1.5);
  DEBUG(1.5);
  EXPECT_EQ(Read(path_), "1.500000\n1.500000\n");
  DEBUGstr("abc");
  EXPECT_EQ(Read(path_), "abc\n");
  DEBUGp3d({1.0f, -0.5f, 0.1f});
  EXPECT_EQ(Read(path_), "1.000000,-0.500000,0.100000\n");
  DEBUGstr(nullptr);
  EXPECT_EQ(Read(path_), "\n");
  struct stat info;
  ASSERT_EQ(stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777 & ~0022, 0644u & ~0022u);
  ERRORBOX("ignored");
  ERRORCLOSE("ignored");
}

TEST_F(DiagnosticsTest, PlantedSymlinkIsNotFollowed) {
  const std::string target = dir_ + "/target.txt";
  { std::ofstream(target) << "precious\n"; }
  ASSERT_EQ(symlink(target.c_str(), path_.c_str()), 0);
  DEBUG(2.0);
  DEBUGstr("overwrite");
  DEBUGp3d({1, 2, 3});
  EXPECT_EQ(Read(target), "precious\n");
}

TEST_F(DiagnosticsTest, PlantedFifoDoesNotHang) {
  ASSERT_EQ(mkfifo(path_.c_str(), 0666), 0);
  DEBUG(3.0);  // no reader: the open fails at once
  // With a reader waiting the open succeeds, and the file type check refuses it.
  const int reader = open(path_.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  DEBUG(4.0);
  DEBUGstr("x");
  char buffer[16];
  EXPECT_LE(read(reader, buffer, sizeof buffer), 0);
  close(reader);
}

TEST_F(DiagnosticsTest, MissingDirectoryIsIgnored) {
  SetDiagnosticPath((dir_ + "/no/such/dir/debug.txt").c_str());
  DEBUG(1.0);
  DEBUGstr("abc");
  DEBUGp3d({0, 0, 0});
}

class FrameRateTest : public ::testing::Test {
 protected:
  void SetUp() override { fCount = lastcountFrame = 0, frameRate = lastcountTime = 0; }
  void TearDown() override { SetUp(); }
};

TEST_F(FrameRateTest, SamplesAtMostFourTimesASecond) {
  fCount = 30;
  CalcFrameRate(0.2);
  EXPECT_EQ(frameRate, 0.0);
  EXPECT_EQ(lastcountFrame, 0);
  CalcFrameRate(0.5);
  EXPECT_EQ(frameRate, 60.0);
  EXPECT_EQ(lastcountTime, 0.5);
  EXPECT_EQ(lastcountFrame, 30);
  fCount = 45;
  CalcFrameRate(0.7);
  EXPECT_EQ(frameRate, 60.0);
  EXPECT_EQ(lastcountFrame, 30);
  CalcFrameRate(0.75);  // exactly a quarter later is still too soon
  EXPECT_EQ(lastcountFrame, 30);
  CalcFrameRate(1.0);
  EXPECT_EQ(frameRate, 30.0);
}

TEST_F(FrameRateTest, CounterWrapIsAFrameDifference) {
  lastcountFrame = INT_MAX - 9;
  fCount = INT_MIN + 10;  // twenty frames later, past the wrap
  CalcFrameRate(1.0);
  EXPECT_EQ(frameRate, 20.0);
}

}  // namespace

}  // namespace ambrel
