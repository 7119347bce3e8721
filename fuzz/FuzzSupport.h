// Fuzz inputs go through real files, as the readers take paths.
#pragma once

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Platform.h"

namespace ambrel {

class FuzzFile {
 public:
  explicit FuzzFile(const char* suffix) {
    path_ = "/dev/shm/ambrel-fuzz-" + std::to_string(getpid()) + suffix;
  }
  ~FuzzFile() { std::remove(path_.c_str()); }
  const char* Write(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path_.c_str(), "wb");
    if (!file) std::abort();
    if (size) std::fwrite(data, 1, size, file);
    std::fclose(file);
    return path_.c_str();
  }

 private:
  std::string path_;
};

// G_DEBUG=fatal-criticals turns a GLib critical into SIGTRAP, which libFuzzer does
// not catch: make it an abort so the input is kept as a crash.
inline const bool kTrapIsCrash = [] {
  std::signal(SIGTRAP, [](int) { std::abort(); });
  return true;
}();

// Alerts are expected on bad input; they must not flood the log.
inline void SilenceAlerts() {
  struct Silent : Platform {
    void presentAlert(const char*, const char*) override {}
  };
  static Silent silent;
  SetPlatform(&silent);
}

}  // namespace ambrel
