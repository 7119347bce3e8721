// Runs the real ambrel program in a scratch folder with its own settings store,
// and reads back what it leaves on disk.
#pragma once

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "Files.h"
#include "TestPictures.h"
#include "HostilePictures.h"
#include "TestFolders.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace ambrel {

struct Outcome {
  int status = -1;  // exit code, or -1 when killed by a signal
  std::string out, err;
};

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
  // Bytes of address space the runs get (as `ulimit -v`); 0 for no limit.
  long addressSpaceLimit = 0;

  TempFolder work_{"cmd"}, logs_{"log"}, home_{"home"};
  const std::string dir = work_.path(), logDir = logs_.path(), config = home_.path();
};

}  // namespace ambrel
