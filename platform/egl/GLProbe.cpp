#include "platform/egl/GLProbe.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/Termination.h"
#include "platform/egl/OffscreenContext.h"

namespace ambrel {

namespace {

// Longer than any renderer name; what comes past it is not an answer.
constexpr size_t kMostAnswer = 1024;

double Now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec + now.tv_nsec * 1e-9;
}

[[noreturn]] void AnswerFromChild(int out, pid_t parent) {
  // Goes with the run that asked, however that ends.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(1);
  SetTerminationCleanupFile(nullptr);  // the parent's file is the parent's to remove
  // A driver's complaints are the probe's answer, not the user's to read.
  const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (quiet >= 0) dup2(quiet, STDERR_FILENO);
  OffscreenContext context;
  std::string answer;
  if (context.Create(1, 1, &answer))
    answer = "+" + context.Renderer();
  else
    answer = "-" + answer;
  answer.resize(std::min(answer.size(), kMostAnswer));
  for (size_t done = 0; done < answer.size();) {
    const ssize_t wrote = write(out, answer.data() + done, answer.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) _exit(1);
    done += size_t(wrote);
  }
  // No destructors, no atexit handlers of the parent's: the context goes with the process.
  _exit(0);
}

}  // namespace

GLProbeResult ProbeOpenGL(int timeoutMilliseconds) {
  GLProbeResult result;
  InstallTerminationHandlers();
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    result.why = "cannot make a pipe for the OpenGL probe";
    return result;
  }
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    AnswerFromChild(fds[1], parent);
  }
  close(fds[1]);
  if (child < 0) {
    close(fds[0]);
    result.why = "cannot start the OpenGL probe";
    return result;
  }

  std::string answer;
  bool ended = false;
  const double deadline = Now() + timeoutMilliseconds / 1000.0;
  while (!ended && answer.size() <= kMostAnswer) {
    const double left = deadline - Now();
    if (left <= 0) break;
    // In short slices, each measured against the deadline: a slow driver's
    // answer is taken as soon as it comes, a hung one given up in time.
    pollfd fd{fds[0], POLLIN, 0};
    const int ready = poll(&fd, 1, std::min(100, int(left * 1000) + 1));
    if (ready <= 0) continue;
    char buffer[256];
    const ssize_t got = read(fds[0], buffer, sizeof buffer);
    if (got > 0)
      answer.append(buffer, size_t(got));
    else if (got == 0 || errno != EINTR)
      ended = true;
  }
  close(fds[0]);
  const bool overlong = answer.size() > kMostAnswer;
  if (!ended || overlong) kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }

  if (overlong) {
    result.why = "the OpenGL probe's answer is too long";
  } else if (!ended) {
    result.why = "the OpenGL driver did not answer in time";
  } else if (answer.size() > 1 && answer[0] == '+' && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    result.context = true;
    result.renderer = answer.substr(1);
  } else if (answer.size() > 1 && answer[0] == '-') {
    result.why = answer.substr(1);
  } else {
    result.why = "the OpenGL probe ended without an answer";
  }
  return result;
}

}  // namespace ambrel
