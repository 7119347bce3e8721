#include "platform/ViewLoop.h"

#include <poll.h>

#include <cerrno>
#include <cstdio>

namespace ambrel {

ViewLoop::Woken ViewLoop::Sleep(int connection, int signals, int timeout) {
  pollfd fds[2] = {{connection, POLLIN, 0}, {signals, POLLIN, 0}};
  if (poll(fds, 2, timeout) < 0) {
    if (errno == EINTR) return Woken::Other;
    std::perror("ambrel: poll");
    return Woken::Failed;
  }
  return fds[0].revents & (POLLIN | POLLHUP | POLLERR) ? Woken::Connection : Woken::Other;
}

}  // namespace ambrel
