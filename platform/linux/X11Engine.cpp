// The engine on Xlib + GLX: one thread, one X connection, one window and view per
// monitor (or one window, or XScreenSaver's window), timers kept by the shared view
// loop and a poll() on the connection and a signal pipe in between, so it sleeps
// between ticks.
#include "platform/linux/X11Headers.h"
#include <X11/extensions/dpms.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/linux/LinuxEngine.h"
#include "platform/Platform.h"
#include "platform/Alerts.h"
#include "platform/Termination.h"
#include "platform/ViewLoop.h"
#include "platform/linux/GlxSurface.h"
#include "platform/linux/X11Capture.h"
#include "platform/linux/X11Errors.h"
#include "platform/linux/X11PixelSurface.h"
#include "platform/linux/X11Screens.h"

namespace ambrel {

namespace {

// The X server's DPMS state: the monitors are in standby, suspend or off. A
// server without the extension (Xvfb) has monitors that never sleep.
bool DpmsSaysMonitorsAsleep(Display* display) {
  int event = 0, error = 0;
  if (!DPMSQueryExtension(display, &event, &error) || !DPMSCapable(display)) return false;
  CARD16 level = DPMSModeOn;
  BOOL enabled = False;
  return DPMSInfo(display, &level, &enabled) && enabled && level != DPMSModeOn;
}

// --- the engine --------------------------------------------------------------------

enum class Mode { FullScreen, Window, Preview, Hack };

class Engine;

// One view and the window it lives in, with its timer.
class X11ViewSite : public ViewSite {
 public:
  X11ViewSite(Engine& engine, Window window, bool ownsWindow, Rect frame)
      : engine_(engine), window_(window), ownsWindow_(ownsWindow), frame_(frame) {}

  std::unique_ptr<GLSurface> createGLSurface(const SurfaceRequest& request) override;
  std::unique_ptr<PixelSurface> createPixelSurface() override;
  const Screen* screen() override;
  void timerIntervalChanged(double seconds) override;
  void startTimer() override;
  void stopTimer() override { pace_.timer.stop(); }

  Window window() const { return window_; }
  bool ownsWindow() const { return ownsWindow_; }
  Rect frame() const { return frame_; }
  void setFrame(Rect frame) { frame_ = frame; }
  ViewPace* pace() { return view ? &pace_ : nullptr; }
  // What the server says of the window, and the monitors' power: the view steps
  // and draws only while something of it can be seen.
  void SetMapped(bool mapped) {
    mapped_ = mapped;
    Update();
  }
  void SetFullyObscured(bool obscured) {
    obscured_ = obscured;
    Update();
  }
  void SetMonitorsAsleep(bool asleep) {
    asleep_ = asleep;
    Update();
  }

  std::unique_ptr<ScreenSaverView> view;

 private:
  Engine& engine_;
  Window window_;
  bool ownsWindow_;
  Rect frame_;
  void Update() { pace_.shown = mapped_ && !obscured_ && !asleep_; }

  Screen shownOn_;
  ViewPace pace_;
  bool mapped_ = true, obscured_ = false, asleep_ = false;
};

class Engine : public X11ScreensPlatform {
 public:
  Engine(Display* display, Mode mode) : X11ScreensPlatform(display), mode_(mode) {
    if (mode == Mode::FullScreen || mode == Mode::Hack) screenOwned_.emplace();
  }

  bool captureScreen(uint32_t displayMask, CapturedImage* out) override {
    if (mode_ == Mode::Hack) {
      // The daemon blanked the screen before we ran; its screenshot is the desktop,
      // which the user may not want shown on a locked screen.
      if (!GrabDesktopImagesAllowed()) return false;
      const Screen* main = layout_.screens.empty() ? nullptr : &layout_.screens[size_t(layout_.mainIndex)];
      return CaptureScreenshotProperty(display_, hackWindow_, previewHack_ && main ? &main->frame : nullptr, out);
    }
    return X11ScreensPlatform::captureScreen(displayMask, out);
  }

  // Only what ends the run: a window's other events wait for the loop.
  bool keepInputLive() override {
    auto ending = [](Display*, XEvent* event, XPointer) -> Bool {
      return event->type == KeyPress || event->type == ButtonPress || event->type == MotionNotify ||
             event->type == ClientMessage;
    };
    XEvent event;
    while (!quit_ && XCheckIfEvent(display_, &event, ending, nullptr)) Dispatch(event);
    if (signals_.requested()) quit_ = true;
    return !quit_;
  }

  Mode mode() const { return mode_; }
  const ViewLoop& loop() const { return loop_; }
  // A slower frame than the views ask for (XScreenSaver's -delay).
  void setShortestFrameSeconds(double seconds) { shortestFrame_ = seconds; }
  // Replaces the DPMS query (tests: a server without DPMS).
  void setMonitorsAsleep(std::function<bool()> asleep) {
    if (asleep) monitorsAsleep_ = std::move(asleep);
  }
  double shortestFrameSeconds() const { return shortestFrame_; }

  Rect RootRectOf(Window window, Rect fallback) {
    XWindowAttributes attributes;
    Window child = None;
    int x = 0, y = 0;
    X11ErrorTrap trap(display_);
    if (!XGetWindowAttributes(display_, window, &attributes) ||
        !XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &x, &y, &child) ||
        trap.Sync() != 0)
      return fallback;
    return Rect{double(x), double(y), double(attributes.width), double(attributes.height)};
  }

  int RunStandAlone(const StandAloneOptions& options, const ViewFactory& factory);
  int RunHack(Window window, bool preview, const ViewFactory& factory);

 private:
  Window CreateTopLevel(Rect frame, bool overrideRedirect);
  void StartViews();
  int Loop();
  void Dispatch(XEvent& event);
  void ReleaseViews();
  void GrabInput(Window window);
  X11ViewSite* SiteFor(Window window) {
    for (auto& site : sites_)
      if (site->window() == window) return site.get();
    return nullptr;
  }
  std::vector<X11ViewSite*> Sites() const {
    std::vector<X11ViewSite*> sites;
    for (const auto& site : sites_) sites.push_back(site.get());
    return sites;
  }
  // The monitors' power, asked at most once a second; returns when to ask next
  // while they sleep (negative while they are on: the views' own ticks ask).
  double CheckMonitorPower(double now);

  Mode mode_;
  ViewLoop loop_;
  double shortestFrame_ = 0;
  // From the start, so a signal during start-up still ends the run cleanly.
  EngineSignals signals_;
  // Over a grabbed screen or the daemon's window no one can answer a dialog.
  std::optional<ScreenOwnership> screenOwned_;
  std::vector<std::unique_ptr<X11ViewSite>> sites_;
  Cursor blankCursor_ = None;
  Atom deleteWindow_ = None;
  Window hackWindow_ = None;
  bool previewHack_ = false;
  bool quit_ = false;
  int exitCode_ = 0;
  PointerHysteresis pointerMoves_;
  // XScreenSaver ends its hacks when it powers the monitors down; our own full
  // screen and window modes see to it themselves.
  std::function<bool()> monitorsAsleep_ = [this] { return DpmsSaysMonitorsAsleep(display_); };
  bool asleep_ = false;
  double nextPowerCheck_ = 0;
};

std::unique_ptr<GLSurface> X11ViewSite::createGLSurface(const SurfaceRequest& request) {
  std::string error;
  // Our own windows present whole frames on the display's rhythm where the
  // server can: double-buffered, swapped at the vertical blank.
  SurfaceRequest paced = request;
  paced.doubleBuffer = true;
  std::unique_ptr<GlxSurface> surface =
      ownsWindow_ ? GlxSurface::CreateChild(engine_.display(), window_, Size{frame_.width, frame_.height}, paced,
                                            &error)
                  : GlxSurface::CreateOnWindow(engine_.display(), window_, &error);
  if (!surface) std::fprintf(stderr, "ambrel: %s\n", error.c_str());
  return surface;
}

// No GLX here. Our window was made before the view asked, whichever surface it
// asks for and when, with the screen's default visual: it takes the frames
// itself where that visual shows them as they are, else a child of one that
// does. A GL surface's own child window would cover it: a view keeps one kind.
std::unique_ptr<PixelSurface> X11ViewSite::createPixelSurface() {
  return X11PixelSurface::Create(engine_.display(), window_, ownsWindow_, Size{frame_.width, frame_.height});
}

void X11ViewSite::startTimer() { pace_.timer.start(engine_.loop().Now()); }

void X11ViewSite::timerIntervalChanged(double seconds) {
  pace_.timer.setInterval(seconds, engine_.shortestFrameSeconds());
}

const Screen* X11ViewSite::screen() {
  const Rect where = ownsWindow_ && engine_.mode() == Mode::FullScreen ? frame_ : engine_.RootRectOf(window_, frame_);
  const Screen* found = ScreenForRect(engine_.layout(), where);
  if (!found) return nullptr;
  shownOn_ = *found;
  return &shownOn_;
}

Window Engine::CreateTopLevel(Rect frame, bool overrideRedirect) {
  const int screen = DefaultScreen(display_);
  XSetWindowAttributes attributes{};
  attributes.background_pixel = BlackPixel(display_, screen);
  attributes.override_redirect = overrideRedirect ? True : False;
  attributes.event_mask =
      KeyPressMask | ButtonPressMask | PointerMotionMask | StructureNotifyMask | VisibilityChangeMask;
  unsigned long mask = CWBackPixel | CWOverrideRedirect | CWEventMask;
  if (blankCursor_) {
    attributes.cursor = blankCursor_;
    mask |= CWCursor;
  }
  const Window window =
      XCreateWindow(display_, RootWindow(display_, screen), int(frame.x), int(frame.y),
                    unsigned(std::max(1.0, frame.width)), unsigned(std::max(1.0, frame.height)), 0, CopyFromParent,
                    InputOutput, CopyFromParent, mask, &attributes);
  XStoreName(display_, window, "Ambrel");
  XClassHint hint{const_cast<char*>("ambrel"), const_cast<char*>("Ambrel")};
  XSetClassHint(display_, window, &hint);
  if (!overrideRedirect) XSetWMProtocols(display_, window, &deleteWindow_, 1);
  return window;
}

void Engine::GrabInput(Window window) {
  // Another client may hold a grab for a moment (a menu closing); try briefly.
  bool keyboard = false, pointer = false;
  for (int attempt = 0; attempt < 10 && !(keyboard && pointer); ++attempt) {
    if (!keyboard)
      keyboard = XGrabKeyboard(display_, window, True, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
    if (!pointer)
      pointer = XGrabPointer(display_, window, True, ButtonPressMask | PointerMotionMask, GrabModeAsync,
                             GrabModeAsync, None, blankCursor_, CurrentTime) == GrabSuccess;
    if (!(keyboard && pointer)) usleep(20000);
  }
  if (!keyboard) std::fprintf(stderr, "ambrel: could not grab the keyboard\n");
  if (!pointer) std::fprintf(stderr, "ambrel: could not grab the pointer\n");
}

void Engine::StartViews() {
  for (auto& site : sites_) site->view->setFrameSize(Size{site->frame().width, site->frame().height});
  for (auto& site : sites_)
    if (site->ownsWindow()) XMapRaised(display_, site->window());
  XSync(display_, False);
  if (mode_ == Mode::FullScreen && !sites_.empty()) {
    GrabInput(sites_.front()->window());
    Window root = None, child = None;
    int x = 0, y = 0, winX = 0, winY = 0;
    unsigned buttons = 0;
    if (XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &x, &y, &winX, &winY, &buttons))
      pointerMoves_.Rest(x, y);
  }
  for (auto& site : sites_) site->view->startAnimation();
}

void Engine::Dispatch(XEvent& event) {
  switch (event.type) {
    case KeyPress:
      if (mode_ == Mode::FullScreen) quit_ = true;
      if ((mode_ == Mode::Window || mode_ == Mode::Preview) && XLookupKeysym(&event.xkey, 0) == XK_Escape)
        quit_ = true;
      break;
    case ButtonPress:
      if (mode_ == Mode::FullScreen) quit_ = true;
      break;
    case MotionNotify: {
      if (mode_ != Mode::FullScreen || event.xmotion.send_event) break;
      if (pointerMoves_.Moved(event.xmotion.x_root, event.xmotion.y_root)) quit_ = true;
      break;
    }
    case ConfigureNotify: {
      X11ViewSite* site = SiteFor(event.xconfigure.window);
      if (!site || !site->view) break;
      Rect frame = site->frame();
      const bool resized = frame.width != event.xconfigure.width || frame.height != event.xconfigure.height;
      frame.width = event.xconfigure.width;
      frame.height = event.xconfigure.height;
      if (site->ownsWindow() && mode_ == Mode::FullScreen) {
        frame.x = event.xconfigure.x;
        frame.y = event.xconfigure.y;
      }
      site->setFrame(frame);
      if (resized && frame.width > 0 && frame.height > 0) site->view->setFrameSize(Size{frame.width, frame.height});
      break;
    }
    case DestroyNotify:
      if (mode_ == Mode::Hack && event.xdestroywindow.window == hackWindow_) MarkWatchedWindowGone();
      break;
    // Unmapped, iconified (a window manager unmaps it) or wholly covered: nothing
    // of the view shows, so it neither steps nor draws until it does again.
    case MapNotify:
    case UnmapNotify:
      if (X11ViewSite* site = SiteFor(event.xany.window)) site->SetMapped(event.type == MapNotify);
      break;
    case VisibilityNotify:
      if (X11ViewSite* site = SiteFor(event.xvisibility.window))
        site->SetFullyObscured(event.xvisibility.state == VisibilityFullyObscured);
      break;
    case ClientMessage:
      if (static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow_) quit_ = true;
      break;
    default:
      break;
  }
}

int Engine::Loop() {
  const int connection = ConnectionNumber(display_);
  while (!quit_) {
    while (!quit_ && XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      Dispatch(event);
    }
    // The daemon destroying its window is how an unblank ends a hack: a normal
    // end, with nothing to say.
    if (mode_ == Mode::Hack && WatchedWindowGone()) break;
    if (quit_) break;

    const double powerCheck = CheckMonitorPower(loop_.Now());
    loop_.AnimateDue(Sites());
    XFlush(display_);
    // Slow frames each bringing an event back (a shared-memory put's completion)
    // would otherwise keep the loop from ever reaching the check after the sleep.
    if (signals_.requested()) break;
    if (XEventsQueued(display_, QueuedAlready) > 0) continue;

    if (ViewLoop::Sleep(connection, signals_.fd(), loop_.PollTimeout(Sites(), powerCheck)) ==
        ViewLoop::Woken::Failed) {
      exitCode_ = 1;
      break;
    }
    if (signals_.requested()) break;
  }
  return exitCode_;
}

double Engine::CheckMonitorPower(double now) {
  if (mode_ == Mode::Hack) return -1;
  if (now >= nextPowerCheck_) {
    // Asked only on a round the loop makes anyway (a view's tick, an event), or
    // on the one wake-up a second while they sleep.
    bool drawing = asleep_;
    for (auto& site : sites_)
      if (const ViewPace* pace = site->pace(); pace && pace->Drawable()) drawing = true;
    if (!drawing) return -1;
    nextPowerCheck_ = now + 1.0;
    const bool asleep = monitorsAsleep_();
    if (asleep != asleep_) {
      asleep_ = asleep;
      for (auto& site : sites_) site->SetMonitorsAsleep(asleep);
    }
  }
  return asleep_ ? nextPowerCheck_ : -1;
}

void Engine::ReleaseViews() {
  for (auto& site : sites_) {
    if (site->view) site->view->stopAnimation();
  }
  for (auto& site : sites_) site->view.reset();
  for (auto& site : sites_)
    if (site->ownsWindow()) XDestroyWindow(display_, site->window());
  sites_.clear();
  XSync(display_, False);
}

Cursor MakeBlankCursor(Display* display) {
  static const char bits[1] = {0};
  const Pixmap empty = XCreateBitmapFromData(display, DefaultRootWindow(display), bits, 1, 1);
  XColor black{};
  const Cursor cursor = XCreatePixmapCursor(display, empty, empty, &black, &black, 0, 0);
  XFreePixmap(display, empty);
  return cursor;
}

int Engine::RunStandAlone(const StandAloneOptions& options, const ViewFactory& factory) {
  deleteWindow_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
  if (mode_ == Mode::FullScreen) {
    blankCursor_ = MakeBlankCursor(display_);
    if (layout_.screens.empty()) {
      std::fprintf(stderr, "ambrel: the display has no monitor to cover\n");
      return 1;
    }
    for (const Screen& screen : layout_.screens)
      sites_.push_back(std::make_unique<X11ViewSite>(*this, CreateTopLevel(screen.frame, true), true, screen.frame));
    for (auto& site : sites_) site->SetMapped(false);
  } else {
    const bool preview = mode_ == Mode::Preview;
    const Screen main = mainScreen();
    const WindowSize size = WindowSizeOrDefault(options.width, options.height, preview);
    Rect frame{main.frame.x, main.frame.y, double(size.width), double(size.height)};
    if (options.position) {
      frame.x += options.position->first;
      frame.y += options.position->second;
    }
    sites_.push_back(std::make_unique<X11ViewSite>(*this, CreateTopLevel(frame, false), true, frame));
    sites_.back()->SetMapped(false);
  }
  // Every view is made before any window shows, so captures see the desktop.
  for (auto& site : sites_) site->view = factory(site->frame(), mode_ == Mode::Preview, *site);
  for (auto it = sites_.begin(); it != sites_.end();) {
    if ((*it)->view) {
      ++it;
      continue;
    }
    XDestroyWindow(display_, (*it)->window());
    it = sites_.erase(it);
  }
  if (sites_.empty()) {
    std::fprintf(stderr, "ambrel: no view could be created\n");
    return 1;
  }
  StartViews();
  const int code = Loop();
  ReleaseViews();
  if (blankCursor_) XFreeCursor(display_, blankCursor_);
  return code;
}

int Engine::RunHack(Window window, bool preview, const ViewFactory& factory) {
  hackWindow_ = window;
  previewHack_ = preview;
  XWindowAttributes attributes;
  {
    X11ErrorTrap trap(display_);
    const Status found = XGetWindowAttributes(display_, window, &attributes);
    if (!found || trap.Sync() != 0) {
      std::fprintf(stderr, "ambrel: there is no window 0x%lx on the display\n", window);
      return 1;
    }
    if (attributes.c_class == InputOnly) {
      std::fprintf(stderr, "ambrel: the window 0x%lx takes input only and cannot be drawn in\n", window);
      return 1;
    }
    XSelectInput(display_, window, attributes.your_event_mask | StructureNotifyMask | VisibilityChangeMask);
  }
  WatchWindow(window);
  const Rect frame = RootRectOf(window, Rect{0, 0, double(attributes.width), double(attributes.height)});
  sites_.push_back(std::make_unique<X11ViewSite>(*this, window, false, frame));
  sites_.front()->SetMapped(attributes.map_state != IsUnmapped);
  sites_.front()->view = factory(frame, preview, *sites_.front());
  if (!sites_.front()->view) {
    sites_.clear();
    WatchWindow(0);
    std::fprintf(stderr, "ambrel: no view could be created\n");
    return 1;
  }
  StartViews();
  const int code = Loop();
  ReleaseViews();
  WatchWindow(0);
  return code;
}

struct DisplayConnection {
  explicit DisplayConnection(const std::string& name) {
    InstallX11ErrorHandlers();
    display = XOpenDisplay(name.empty() ? nullptr : name.c_str());
    if (!display) {
      const char* shown = name.empty() ? std::getenv("DISPLAY") : name.c_str();
      std::fprintf(stderr, "ambrel: cannot open the X display \"%s\"\n", shown ? shown : "");
    }
  }
  ~DisplayConnection() {
    if (display) XCloseDisplay(display);
  }
  Display* display = nullptr;
};

}  // namespace

int RunStandAlone(const StandAloneOptions& options, const ViewFactory& factory) {
  DisplayConnection connection(options.displayName);
  if (!connection.display) return 1;
  const Mode mode = options.kind == StandAloneKind::FullScreen ? Mode::FullScreen
                    : options.kind == StandAloneKind::Window   ? Mode::Window
                                                               : Mode::Preview;
  Engine engine(connection.display, mode);
  engine.setShortestFrameSeconds(options.shortestFrameSeconds);
  engine.setMonitorsAsleep(options.monitorsAsleep);
  PlatformInstalled installed(&engine);
  return engine.RunStandAlone(options, factory);
}

int RunHack(const HackTarget& target, const ViewFactory& factory) {
  DisplayConnection connection(target.displayName);
  if (!connection.display) return 1;
  const Window window = target.window ? target.window : DefaultRootWindow(connection.display);
  Engine engine(connection.display, Mode::Hack);
  engine.setShortestFrameSeconds(target.shortestFrameSeconds);
  PlatformInstalled installed(&engine);
  return engine.RunHack(window, target.preview, factory);
}

}  // namespace ambrel
