// The one way tests run a program: its output and errors collected, its exit
// waited for with a deadline that only a hang reaches.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace ambrel {

// argv for exec: pointers into strings, ended by a null.
std::vector<char*> ArgvPointers(std::vector<std::string>& strings);

// How the child starts, beyond its arguments and environment.
struct ChildOptions {
  std::string directory;    // its working folder; empty: the test's
  long fileSizeLimit = 0;   // > 0: every write beyond that many bytes fails, as on a full disk
  int user = -1;            // >= 0: runs as that user and group (tests running as root)
  long addressSpaceLimit = 0;  // > 0: allocations beyond that many bytes fail, as on a small machine
};

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Runs program with arguments and extra environment entries ("NAME=value"
  // sets, "NAME" unsets); stdout and stderr are collected.
  bool Start(const std::string& program, const std::vector<std::string>& arguments,
             const std::vector<std::string>& environment, const ChildOptions& options = {});
  // Waits (at most timeoutSeconds) for a line of stdout beginning with prefix.
  bool WaitForLine(const std::string& prefix, double timeoutSeconds, std::string* line = nullptr);
  // Waits (at most timeoutSeconds) until stderr holds text.
  bool WaitForErrors(const std::string& text, double timeoutSeconds);
  // Waits for the exit; the exit status (or 128 + signal), or -1 on a timeout.
  int Wait(double timeoutSeconds);
  void Signal(int signal);
  bool Running();
  const std::string& output() const { return output_; }
  const std::string& errors() const { return errors_; }
  pid_t pid() const { return pid_; }

 private:
  void ReadAvailable(int timeoutMs);
  void Drain();
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string output_;
  std::string errors_;
  size_t scanned_ = 0;
  int status_ = -1;
};

// Runs command (a program and its arguments) to its end: the exit status, or -1
// when it hangs past timeoutSeconds (it is then killed).
int RunToEnd(const std::vector<std::string>& command, double timeoutSeconds = 60);

}  // namespace ambrel
