#include "XvfbServer.h"

#include "ChildProcess.h"
#include "platform/Clock.h"

#include <fcntl.h>
#include <sched.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace ambrel {

bool XvfbServer::Start(const std::vector<std::string>& arguments, std::string* error, bool ownIpcNamespace) {
  int fds[2];
  if (pipe(fds) != 0) {
    *error = "pipe failed";
    return false;
  }
  // -noreset: a server that resets when its last client leaves refuses connections for a moment.
  std::vector<std::string> argv = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp", "-noreset"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  pid_ = fork();
  if (pid_ == 0) {
    // A test process that dies without its tear-down must not leave a server behind.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    close(fds[0]);
    if (ownIpcNamespace && unshare(CLONE_NEWIPC) != 0) _exit(126);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, STDERR_FILENO);
    dup2(devNull, STDOUT_FILENO);
    std::vector<char*> pointers = ArgvPointers(argv);
    execvp("Xvfb", pointers.data());
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  const double deadline = MonotonicSeconds() + 20;
  while (MonotonicSeconds() < deadline) {
    pollfd fd{fds[0], POLLIN, 0};
    if (poll(&fd, 1, 200) <= 0) continue;
    char buffer[32];
    const ssize_t got = read(fds[0], buffer, sizeof buffer);
    if (got <= 0) break;
    number.append(buffer, static_cast<size_t>(got));
    if (number.find('\n') != std::string::npos) break;
  }
  close(fds[0]);
  while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
  if (number.empty()) {
    *error = "Xvfb did not report its display";
    Stop();
    return false;
  }
  name_ = ":" + number;
  return true;
}

void XvfbServer::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 100 && waitpid(pid_, &status, WNOHANG) == 0; ++i) usleep(50000);
  if (waitpid(pid_, &status, WNOHANG) == 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
  }
  pid_ = -1;
}

}  // namespace ambrel
