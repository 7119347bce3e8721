// A private Xvfb for one test suite, on a display number it picks itself, and a
// child process helper for running the engine against it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class XvfbServer {
 public:
  XvfbServer() = default;
  ~XvfbServer() { Stop(); }
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // Starts Xvfb with the given server arguments ("+xinerama", "-screen", ...).
  bool Start(const std::vector<std::string>& arguments, std::string* error);
  void Stop();
  // ":N", for XOpenDisplay and $DISPLAY.
  const std::string& name() const { return name_; }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Runs program with arguments and extra "NAME=value" environment entries;
  // stdout and stderr are collected.
  bool Start(const std::string& program, const std::vector<std::string>& arguments,
             const std::vector<std::string>& environment);
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
