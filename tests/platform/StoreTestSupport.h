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

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_.c_str(), old_->c_str(), 1);
    else unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

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
  void SetUp() override {
    char pattern[] = "/tmp/ambrel-config-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    configHome_.emplace("XDG_CONFIG_HOME", root_.c_str());
    storeDir_ = root_ + "/ambrel";
  }
  void TearDown() override {
    configHome_.reset();
    std::filesystem::remove_all(root_);
  }
  std::string root_, storeDir_;
  std::optional<ScopedEnv> configHome_;
};
