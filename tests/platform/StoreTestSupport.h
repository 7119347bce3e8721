// A private XDG config folder for tests of the settings store and its users.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "TestFolders.h"

namespace ambrel {

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteWholeFile(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

class ConfigHomeTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(root_.empty()); }
  TempFolder folder_{"config"};
  const std::string root_ = folder_.path();
  const std::string storeDir_ = root_ + "/ambrel";
  ScopedEnv configHome_{"XDG_CONFIG_HOME", root_};
};

}  // namespace ambrel
