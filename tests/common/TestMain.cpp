// Every test program runs in a world of its own: a fresh home and XDG folders in
// /tmp, removed at the end, and no services of the desktop it was started from.
// Whatever GLib, GTK, Mesa or our own code would write into a home lands there,
// and nothing waits on a session bus that is not there.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/linux/LinuxPlatform.h"

namespace ambrel {

}  // namespace ambrel

int main(int argc, char** argv) {
  using namespace ambrel;
  char folder[] = "/tmp/ambrel-home-XXXXXX";
  if (!mkdtemp(folder)) {
    perror("ambrel tests: cannot make a home in /tmp");
    return 2;
  }
  const std::string home = folder;
  const struct {
    const char* name;
    std::string value;
  } environment[] = {
      {"HOME", home},
      {"XDG_CONFIG_HOME", home + "/.config"},
      {"XDG_CACHE_HOME", home + "/.cache"},
      {"XDG_DATA_HOME", home + "/.local/share"},
      {"XDG_STATE_HOME", home + "/.local/state"},
      {"XDG_RUNTIME_DIR", home + "/runtime"},
      // A bus address where no bus listens: GDBus fails at once instead of
      // starting one. A test that needs a bus starts its own.
      {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home + "/runtime/bus"},
      {"GIO_USE_VFS", "local"},
      {"GTK_USE_PORTAL", "0"},
      {"NO_AT_BRIDGE", "1"},
      {"MESA_SHADER_CACHE_DISABLE", "true"},
      // One llvmpipe thread per context: two tests run at once on two cores, and
      // the rasterizer still runs beside the thread that drives it, as for users.
      {"LP_NUM_THREADS", "1"},
  };
  for (const auto& variable : environment) setenv(variable.name, variable.value.c_str(), 1);
  mkdir((home + "/runtime").c_str(), 0700);
  InstallLinuxPlatform();

  ::testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  return status;
}
