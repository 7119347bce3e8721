#include "platform/linux/X11Errors.h"

#include <unistd.h>

#include <cstdio>

namespace ambrel {

namespace {

int trapDepth = 0;
int trappedCode = 0;
unsigned long watchedWindow = 0;
bool watchedGone = false;

int OnXError(Display* display, XErrorEvent* event) {
  if (watchedWindow != 0 && event->resourceid == watchedWindow &&
      (event->error_code == BadWindow || event->error_code == BadDrawable || event->error_code >= 128)) {
    watchedGone = true;
    return 0;
  }
  if (trapDepth > 0) {
    if (trappedCode == 0) trappedCode = event->error_code;
    return 0;
  }
  // An error of a request made every frame comes every frame: each kind is said
  // once, and past a few kinds no more, so that stderr (often .xsession-errors)
  // cannot fill up.
  constexpr int kKindsSaid = 16;
  static unsigned kinds[kKindsSaid];
  static int kindCount = 0;
  const unsigned kind = unsigned(event->error_code) << 16 | unsigned(event->request_code) << 8 | event->minor_code;
  for (int i = 0; i < kindCount; ++i)
    if (kinds[i] == kind) return 0;
  if (kindCount == kKindsSaid) return 0;
  kinds[kindCount++] = kind;
  char text[256];
  XGetErrorText(display, event->error_code, text, sizeof text);
  std::fprintf(stderr, "ambrel: X error: %s (request %d.%d, resource 0x%lx)%s\n", text, event->request_code,
               event->minor_code, event->resourceid,
               kindCount == kKindsSaid ? "; further X errors are not shown" : "; not shown again");
  return 0;
}

[[noreturn]] int OnXIOError(Display*) {
  // Nothing that talks to the server can run any more, and the views' teardown
  // would; leave at once rather than fault or hang in it.
  static const char message[] = "ambrel: lost the connection to the X server\n";
  ssize_t written = write(STDERR_FILENO, message, sizeof message - 1);
  (void)written;
  _exit(1);
}

}  // namespace

void InstallX11ErrorHandlers() {
  XSetErrorHandler(OnXError);
  XSetIOErrorHandler(OnXIOError);
}

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display), savedCode_(trappedCode) {
  XSync(display_, False);
  previousHandler_ = XSetErrorHandler(OnXError);
  ++trapDepth;
  trappedCode = 0;
}

X11ErrorTrap::~X11ErrorTrap() {
  XSync(display_, False);
  --trapDepth;
  trappedCode = savedCode_;
  XSetErrorHandler(previousHandler_);
}

int X11ErrorTrap::Sync() {
  XSync(display_, False);
  return trappedCode;
}

void WatchWindow(unsigned long window) {
  watchedWindow = window;
  watchedGone = false;
}

bool WatchedWindowGone() { return watchedGone; }

void MarkWatchedWindowGone() { watchedGone = true; }

}  // namespace ambrel
