#include "AmbrelProgram.h"

#include <dirent.h>

namespace ambrel {

void AmbrelProgramTest::SetUp() {
  for (const std::string* folder : {&dir, &logDir, &config}) ASSERT_FALSE(folder->empty());
}

void AmbrelProgramTest::TearDown() {}

Outcome AmbrelProgramTest::Ambrel(std::vector<std::string> args, const std::vector<std::string>& env,
                                  long fileSizeLimit, int runAs) {
  std::vector<std::string> environment = {"DISPLAY", "WAYLAND_DISPLAY", "XDG_CONFIG_HOME=" + config, "HOME=" + config};
  environment.insert(environment.end(), env.begin(), env.end());
  ChildProcess child;
  Outcome run;
  if (!child.Start(AMBREL_PROGRAM, args, environment, {dir, fileSizeLimit, runAs, addressSpaceLimit})) return run;
  // Only a hang takes this long; the child is killed when the object goes.
  run.status = child.Wait(300);
  if (run.status > 128) run.status = -1;  // killed by a signal
  run.out = child.output();
  run.err = child.errors();
  return run;
}

std::set<std::string> AmbrelProgramTest::Files() {
  std::set<std::string> names;
  DIR* listing = opendir(dir.c_str());
  if (!listing) return names;
  while (dirent* entry = readdir(listing)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.insert(name);
  }
  closedir(listing);
  return names;
}

void AmbrelProgramTest::ExpectRefused(const std::vector<std::string>& args, const std::string& mention,
                                      int status) {
  Outcome run = Ambrel(args);
  EXPECT_EQ(run.status, status) << run.err;
  EXPECT_NE(run.err.find(mention), std::string::npos) << "stderr: " << run.err;
  EXPECT_TRUE(Files().empty()) << "left a file behind";
}

}  // namespace ambrel
