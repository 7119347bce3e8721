// A real Wayland compositor for one test: sway (headless, pixman) or weston
// (headless), in a private XDG_RUNTIME_DIR, run with everything the test starts
// under an unprivileged user of the session's own, since sway refuses to run as
// root. Sessions side by side share nothing.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "XvfbServer.h"

namespace ambrel {

struct Screenshot {
  bool ok = false;
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // top row first
  double MeanLevel() const;
  // Share of pixels whose channel (0 red, 1 green, 2 blue) is the strongest by a margin.
  double ShareDominatedBy(int channel) const;
  // Share of pixels that differ from other's by more than a little.
  double ShareChangedFrom(const Screenshot& other) const;
};

class CompositorSession {
 public:
  enum class Kind { Sway, Weston };
  CompositorSession() = default;
  ~CompositorSession();
  CompositorSession(const CompositorSession&) = delete;
  CompositorSession& operator=(const CompositorSession&) = delete;

  // sway: swayConfig is the configuration file's text (@WORK@ stands for
  // workDir()), outputs the headless outputs at start. weston: one 640x360 output.
  bool Start(Kind kind, const std::string& swayConfig, int outputs, std::string* error);
  void Stop();
  void Kill();  // SIGKILL, as a crash would
  // sway: a keyboard (wtype's) and a pointer (tools/virtual-pointer) that stay in
  // the seat until the session ends, listed by sway when this returns. A client
  // started afterwards has both from its start, so no key or move made later is
  // lost to a device still joining the seat.
  bool AddInputDevices(std::string* error);

  // Starts program as the session's user, in the session, with the extra
  // "NAME=value" entries (and in directory, when given).
  std::unique_ptr<ChildProcess> Run(const std::string& program, const std::vector<std::string>& arguments,
                                    const std::vector<std::string>& environment = {},
                                    const std::string& directory = "");
  // Runs to the end; the exit status or -1.
  int RunToEnd(const std::string& program, const std::vector<std::string>& arguments, std::string* output = nullptr,
               double timeoutSeconds = 20);
  // The ambrel program (when the build names it), copied where the session's user can run it.
  const std::string& ambrel() const { return ambrel_; }
  // tools/virtual-pointer, likewise.
  const std::string& pointer() const { return pointer_; }
  // Any other program of the build, likewise; its path there.
  std::string Carry(const std::string& program);
  // One output's picture (grim), or the whole desktop when output is empty; on
  // weston, its only output (weston-screenshooter).
  Screenshot Shoot(const std::string& output);
  const std::string& socket() const { return socket_; }
  // The compositor's process (its helpers, swaybg among them, are its children).
  pid_t pid() const;
  // What the last screenshot program said.
  const std::string& lastShot() const { return lastShot_; }
  // The socket's full path, which a client of any user may connect to by name.
  std::string socketPath() const { return runtime_ + "/" + socket_; }
  const std::string& workDir() const { return work_; }
  std::vector<std::string> Environment() const;
  // The "LD_PRELOAD=..." entry for Run that adds library (copied where the
  // session's user can read it) to what the session already preloads.
  std::string Preload(const std::string& library);

 private:
  bool MakeFolders(std::string* error);
  bool HandOver(const std::string& path);
  std::vector<std::string> UserPrefix() const;
  void StopInputDevices();

  Kind kind_ = Kind::Sway;
  std::unique_ptr<ChildProcess> compositor_, keyboard_, mouse_;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  bool switchUser_ = false;
  std::string root_, runtime_, work_, socket_, swaySocket_, ambrel_, pointer_;
  int shots_ = 0;
  std::string lastShot_;
  std::vector<std::string> carried_;  // "NAME=value" for the copied sanitizer files
};

}  // namespace ambrel
