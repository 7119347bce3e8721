// SIGINT and SIGTERM, and every other signal from outside whose default is to end
// the process (SIGHUP, SIGQUIT, SIGUSR1, ...), end Ambrel within a second whatever
// it is doing: decoding a picture, waiting on an alert, inside its event loop. An
// event loop that listens hears the signal and ends the run itself; when nothing
// listens, or the loop does not finish within the grace period, the process ends
// at once, removing the file it was writing, if any. Whatever else is on disk was
// written atomically.
#pragma once

#include <signal.h>

namespace ambrel {

// Installs the handlers (once, on the thread that runs Ambrel; later calls do
// nothing).
void InstallTerminationHandlers();

// The file to remove when a signal ends the process (a temporary file being
// written); null or "" for none. The path is copied.
void SetTerminationCleanupFile(const char* path);

// mkostemp(pattern, O_CLOEXEC) whose file is at once the one to remove, with no
// moment in between for a signal to leave it behind.
int CreateCleanupFile(char* pattern);

// How long a listening loop has to end the run after the first signal.
constexpr int kTerminationGraceMilliseconds = 700;

// While one exists, an event loop listens: the first signal makes fd() readable
// (and requested() true) instead of ending the process; a second one, or the end
// of the grace period, still ends it. Installs the handlers.
class TerminationListener {
 public:
  TerminationListener();
  ~TerminationListener();
  TerminationListener(const TerminationListener&) = delete;
  TerminationListener& operator=(const TerminationListener&) = delete;

  int fd() const { return pipe_[0]; }
  // True once a signal came; empties the pipe.
  bool requested();

 private:
  int pipe_[2] = {-1, -1};
};

// What an engine's event loop listens with: the ending signals through fd(), and
// SIGPIPE ignored, so that a server that went away reaches the connection's own
// error path instead of killing the process without a word.
class EngineSignals {
 public:
  EngineSignals();
  ~EngineSignals();
  EngineSignals(const EngineSignals&) = delete;
  EngineSignals& operator=(const EngineSignals&) = delete;
  int fd() const { return listener_.fd(); }
  // True once a signal came; empties the pipe.
  bool requested() { return listener_.requested(); }

 private:
  TerminationListener listener_;
  struct sigaction savedPipe_ {};
};

}  // namespace ambrel
