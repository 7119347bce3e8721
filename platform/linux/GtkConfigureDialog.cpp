// `ambrel --configure`: one preview view that is never shown, asked for its
// configuration sheet, which runs as a window until it is ended. The view gets
// a real (hidden) drawing surface and the screens of the display, so a screen
// capture at its creation works as it would under the engine and the sheet
// shows the background kind the user stored.
#include <gtk/gtk.h>

#include <cstdio>
#include <memory>
#include <string>

#include "platform/linux/ConfigureDialog.h"
#include "platform/linux/GtkAlert.h"
#include "platform/Platform.h"
#include "platform/SheetControls.h"
#include "platform/linux/GlxSurface.h"
#include "platform/linux/X11Capture.h"
#include "platform/linux/X11Headers.h"
#include "platform/linux/X11Screens.h"

namespace ambrel {

namespace {

constexpr double kViewWidth = 320, kViewHeight = 240;

// The view's window: an unmapped one of our own, so the view has a context to
// upload its capture in; the view never animates here.
class DialogSite : public ViewSite {
 public:
  DialogSite(Display* display, Screen screen) : display_(display), screen_(screen) {}
  ~DialogSite() override {
    if (parent_) XDestroyWindow(display_, parent_);
  }
  std::unique_ptr<GLSurface> createGLSurface(const SurfaceRequest& request) override {
    if (!display_) return nullptr;
    if (!parent_) {
      parent_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, static_cast<unsigned>(kViewWidth),
                                    static_cast<unsigned>(kViewHeight), 0, 0, 0);
    }
    std::string error;
    std::unique_ptr<GLSurface> surface =
        GlxSurface::CreateChild(display_, parent_, Size{kViewWidth, kViewHeight}, request, &error);
    if (!surface) std::fprintf(stderr, "ambrel: no drawing surface for the settings' view: %s\n", error.c_str());
    return surface;
  }
  const Screen* screen() override { return &screen_; }
  void timerIntervalChanged(double) override {}
  void startTimer() override {}
  void stopTimer() override {}

 private:
  Display* display_;
  Screen screen_;
  Window parent_ = None;
};

struct XConnection {
  XConnection() : display(XOpenDisplay(nullptr)) {}
  ~XConnection() {
    if (display) XCloseDisplay(display);
  }
  Display* display;
};

}  // namespace

int RunConfigureDialog(const ViewFactory& factory) {
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "ambrel: the settings window needs a display, and none can be opened\n");
    return 1;
  }
  // Someone is at this window: what goes wrong is told in a dialog over it.
  InstallGtkAlertPresenter();
  XConnection connection;
  X11ScreensPlatform platform(connection.display);
  SetPlatform(&platform);
  int code = 0;
  {
    const Screen main = platform.mainScreen();
    DialogSite site(connection.display, main);
    const Rect frame{main.frame.x, main.frame.y, kViewWidth, kViewHeight};
    std::unique_ptr<ScreenSaverView> view = factory(frame, true, site);
    if (view) view->setFrameSize(Size{kViewWidth, kViewHeight});
    SheetWindow* sheet = view && view->hasConfigureSheet() ? view->configureSheet() : nullptr;
    if (!sheet) {
      std::fprintf(stderr, "ambrel: there is no settings window to show\n");
      code = 1;
    } else {
      sheet->present();
      while (sheet->isShown()) g_main_context_iteration(nullptr, TRUE);
    }
  }
  SetPlatform(nullptr);
  return code;
}

}  // namespace ambrel
