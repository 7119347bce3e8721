#include "ChildProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/Clock.h"

namespace ambrel {

std::vector<char*> ArgvPointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

ChildProcess::~ChildProcess() {
  if (Running()) {
    kill(pid_, SIGKILL);
    Wait(5);
  }
  if (out_ >= 0) close(out_);
  if (err_ >= 0) close(err_);
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment, const ChildOptions& options) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return false;
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  pid_ = fork();
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    close(out[0]);
    close(err[0]);
    for (const std::string& entry : environment) {
      const size_t equals = entry.find('=');
      if (equals == std::string::npos) unsetenv(entry.c_str());
      else setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
    }
    if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) _exit(126);
    if (options.fileSizeLimit > 0) {
      const rlimit limit = {rlim_t(options.fileSizeLimit), rlim_t(options.fileSizeLimit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.addressSpaceLimit > 0) {
      const rlimit limit = {rlim_t(options.addressSpaceLimit), rlim_t(options.addressSpaceLimit)};
      setrlimit(RLIMIT_AS, &limit);
    }
    if (options.user >= 0 &&
        (setgroups(0, nullptr) != 0 || setgid(gid_t(options.user)) != 0 || setuid(uid_t(options.user)) != 0))
      _exit(126);
    std::vector<char*> pointers = ArgvPointers(argv);
    execvp(program.c_str(), pointers.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  out_ = out[0];
  err_ = err[0];
  return pid_ > 0;
}

void ChildProcess::ReadAvailable(int timeoutMs) {
  pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
  if (poll(fds, 2, timeoutMs) <= 0) return;
  char buffer[4096];
  if (fds[0].revents & (POLLIN | POLLHUP)) {
    const ssize_t got = read(out_, buffer, sizeof buffer);
    if (got > 0) output_.append(buffer, static_cast<size_t>(got));
  }
  if (fds[1].revents & (POLLIN | POLLHUP)) {
    const ssize_t got = read(err_, buffer, sizeof buffer);
    if (got > 0) errors_.append(buffer, static_cast<size_t>(got));
  }
}

void ChildProcess::Drain() {
  // After the exit both pipes hit end-of-file once everything is read.
  char buffer[4096];
  for (int fd : {out_, err_}) {
    if (fd < 0) continue;
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;)
      (fd == out_ ? output_ : errors_).append(buffer, static_cast<size_t>(got));
  }
}

bool ChildProcess::WaitForLine(const std::string& prefix, double timeoutSeconds, std::string* line) {
  const double deadline = MonotonicSeconds() + timeoutSeconds;
  bool drained = false;
  for (;;) {
    size_t start = scanned_;
    for (size_t end; (end = output_.find('\n', start)) != std::string::npos; start = end + 1) {
      const std::string text = output_.substr(start, end - start);
      if (text.rfind(prefix, 0) == 0) {
        scanned_ = end + 1;
        if (line) *line = text;
        return true;
      }
    }
    if (MonotonicSeconds() >= deadline) return false;
    if (!Running()) {
      if (drained) return false;
      Drain();
      drained = true;
      continue;
    }
    ReadAvailable(100);
  }
}

bool ChildProcess::WaitForErrors(const std::string& text, double timeoutSeconds) {
  const double deadline = MonotonicSeconds() + timeoutSeconds;
  while (errors_.find(text) == std::string::npos) {
    if (MonotonicSeconds() >= deadline) return false;
    if (!Running()) {
      Drain();
      return errors_.find(text) != std::string::npos;
    }
    ReadAvailable(100);
  }
  return true;
}

int ChildProcess::Wait(double timeoutSeconds) {
  if (pid_ <= 0) return status_;
  const double deadline = MonotonicSeconds() + timeoutSeconds;
  int status = 0;
  while (MonotonicSeconds() < deadline) {
    ReadAvailable(20);
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      Drain();
      pid_ = -1;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return status_;
    }
  }
  return -1;
}

void ChildProcess::Signal(int signal) {
  if (pid_ > 0) kill(pid_, signal);
}

bool ChildProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  const pid_t done = waitpid(pid_, &status, WNOHANG);
  if (done == pid_) {
    pid_ = -1;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
  }
  return true;
}

int RunToEnd(const std::vector<std::string>& command, double timeoutSeconds) {
  ChildProcess child;
  if (command.empty() || !child.Start(command.front(), {command.begin() + 1, command.end()}, {})) return -1;
  return child.Wait(timeoutSeconds);
}

}  // namespace ambrel
