// A private Xvfb for one test suite, on a display number it picks itself.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "ChildProcess.h"

namespace ambrel {

class XvfbServer {
 public:
  XvfbServer() = default;
  ~XvfbServer() { Stop(); }
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // Starts Xvfb with the given server arguments ("+xinerama", "-screen", ...).
  // With ownIpcNamespace, in an IPC namespace of its own, where no client's
  // shared memory can reach it, as on a remote display (needs CAP_SYS_ADMIN).
  bool Start(const std::vector<std::string>& arguments, std::string* error, bool ownIpcNamespace = false);
  void Stop();
  // ":N", for XOpenDisplay and $DISPLAY.
  const std::string& name() const { return name_; }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

}  // namespace ambrel
