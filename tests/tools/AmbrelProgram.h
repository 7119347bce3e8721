// Runs the real ambrel program in a scratch folder with its own settings store,
// and reads back what it leaves on disk.
#pragma once

#include <gtest/gtest.h>

#include "HostilePictures.h"
#include "TestFolders.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct Outcome {
  int status = -1;  // exit code, or -1 when killed by a signal
  std::string out, err;
};

struct PngImage {
  bool ok = false;
  unsigned width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

PngImage ReadPng(const std::string& path);
// A picture of one colour, with a few stripes of its darker shade.
bool WriteStripedPng(const std::string& path, unsigned width, unsigned height, uint32_t rgb);
std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& text);

// Share of the pixels whose strongest channel is `channel` (0 red, 1 green, 2 blue) by a margin.
double ShareDominatedBy(const PngImage& image, int channel);

class AmbrelProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The program runs in dir with XDG_CONFIG_HOME and HOME in config and no
  // display unless env says otherwise ("NAME=value" sets, "NAME" unsets).
  // fileSizeLimit > 0 makes every write beyond that many bytes fail, as on a full disk;
  // runAs >= 0 runs it as that user (tests running as root).
  Outcome Ambrel(std::vector<std::string> args, const std::vector<std::string>& env = {}, long fileSizeLimit = 0,
                 int runAs = -1);
  std::set<std::string> Files();
  void ExpectRefused(const std::vector<std::string>& args, const std::string& mention, int status = 2);
  std::string StorePath() const { return config + "/ambrel/kvAmbrel.conf"; }

  TempFolder work_{"cmd"}, logs_{"log"}, home_{"home"};
  const std::string dir = work_.path(), logDir = logs_.path(), config = home_.path();
};
