#include "platform/Termination.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ambrel {

namespace {

// Everything the handlers touch is set up in advance: they only read these,
// write one byte, unlink, arm a timer and end the process.
volatile sig_atomic_t listenerFd = -1;  // write end of the listener's pipe
volatile sig_atomic_t heard = 0;        // the signal handed to the listener
volatile sig_atomic_t cleanupSet = 0;
char cleanupPath[PATH_MAX];
timer_t graceTimer;
bool haveGraceTimer = false;
bool installed = false;
pthread_t mainThread;

// A signal for the process may land on any thread (the GL driver has its own).
// Handled on the main thread alone, nothing runs beside the handler that could
// make a new file to clean up; blocked there, it waits for the unblocking.
bool OnMainThread(int signal) {
  if (pthread_equal(pthread_self(), mainThread)) return true;
  pthread_kill(mainThread, signal);
  return false;
}

[[noreturn]] void EndNow(int signal) {
  if (cleanupSet) unlink(cleanupPath);
  // Ends the way the signal would have ended us, so the parent sees which one.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal, &fallback, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal);
  _exit(128 + signal);
}

void OnTerminate(int signal) {
  const int saved = errno;
  if (!OnMainThread(signal)) {
    errno = saved;
    return;
  }
  const int fd = listenerFd;
  if (fd < 0 || heard != 0) EndNow(signal);
  heard = signal;
  const char byte = 1;
  const ssize_t written = write(fd, &byte, 1);
  (void)written;
  if (haveGraceTimer) {
    itimerspec grace{};
    grace.it_value.tv_sec = kTerminationGraceMilliseconds / 1000;
    grace.it_value.tv_nsec = long(kTerminationGraceMilliseconds % 1000) * 1000000L;
    timer_settime(graceTimer, 0, &grace, nullptr);
  }
  errno = saved;
}

void OnGraceOver(int signal) {
  if (OnMainThread(signal)) EndNow(heard != 0 ? int(heard) : SIGTERM);
}

// Every signal whose default action ends the process and that comes from outside
// (a closed terminal's SIGHUP, SIGQUIT, SIGUSR1, a CPU limit's SIGXCPU, ...) ends
// it the way SIGTERM does, so that none leaves a temporary file behind. Faults
// (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS) are left as they are,
// and so is SIGPIPE, which the engines ignore and the writers see as an error.
constexpr int kEndingSignals[] = {SIGINT,  SIGTERM, SIGHUP,    SIGQUIT, SIGUSR1, SIGUSR2,  SIGXCPU,
                                  SIGXFSZ, SIGPROF, SIGVTALRM, SIGIO,   SIGPWR,  SIGSTKFLT};

sigset_t HandledSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : kEndingSignals) sigaddset(&set, signal);
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) sigaddset(&set, signal);
  sigaddset(&set, SIGALRM);
  return set;
}

void DisarmGraceTimer() {
  if (!haveGraceTimer) return;
  itimerspec off{};
  timer_settime(graceTimer, 0, &off, nullptr);
}

}  // namespace

void InstallTerminationHandlers() {
  if (installed) return;
  installed = true;
  mainThread = pthread_self();
  sigevent event{};
  event.sigev_notify = SIGEV_SIGNAL;
  event.sigev_signo = SIGALRM;
  haveGraceTimer = timer_create(CLOCK_MONOTONIC, &event, &graceTimer) == 0;

  struct sigaction action {};
  action.sa_mask = HandledSignals();
  action.sa_flags = SA_RESTART;
  action.sa_handler = OnGraceOver;
  sigaction(SIGALRM, &action, nullptr);
  action.sa_handler = OnTerminate;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A signal the caller ignores (nohup's SIGHUP, render mode's SIGXFSZ) stays ignored.
  auto take = [&](int signal) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
        !(current.sa_flags & SA_SIGINFO))
      sigaction(signal, &action, nullptr);
  };
  for (const int signal : kEndingSignals)
    if (signal != SIGINT && signal != SIGTERM) take(signal);
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) take(signal);
}

void SetTerminationCleanupFile(const char* path) {
  const sigset_t handled = HandledSignals();
  sigset_t previous;
  sigprocmask(SIG_BLOCK, &handled, &previous);
  cleanupSet = 0;
  if (path && *path && std::strlen(path) < sizeof cleanupPath) {
    std::memcpy(cleanupPath, path, std::strlen(path) + 1);
    cleanupSet = 1;
  }
  sigprocmask(SIG_SETMASK, &previous, nullptr);
}

int CreateCleanupFile(char* pattern) {
  const sigset_t handled = HandledSignals();
  sigset_t previous;
  sigprocmask(SIG_BLOCK, &handled, &previous);
  const int fd = mkostemp(pattern, O_CLOEXEC);
  const int saved = errno;
  if (fd >= 0) SetTerminationCleanupFile(pattern);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  errno = saved;
  return fd;
}

TerminationListener::TerminationListener() {
  InstallTerminationHandlers();
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    pipe_[0] = pipe_[1] = -1;
    return;
  }
  heard = 0;
  listenerFd = pipe_[1];
}

TerminationListener::~TerminationListener() {
  const sigset_t handled = HandledSignals();
  sigset_t previous;
  sigprocmask(SIG_BLOCK, &handled, &previous);
  listenerFd = -1;
  heard = 0;
  DisarmGraceTimer();
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  for (int& fd : pipe_) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

bool TerminationListener::requested() {
  char buffer[16];
  while (pipe_[0] >= 0 && read(pipe_[0], buffer, sizeof buffer) > 0) {
  }
  return heard != 0;
}

EngineSignals::EngineSignals() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &savedPipe_);
}

EngineSignals::~EngineSignals() { sigaction(SIGPIPE, &savedPipe_, nullptr); }

}  // namespace ambrel
