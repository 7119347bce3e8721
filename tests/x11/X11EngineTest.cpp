// The engine run as a separate process against a private Xvfb, followed through the
// driver's report lines and by reading the screen: views per monitor, drawing,
// input and signals ending the run, hack mode in a given window, bad windows and
// a server that goes away.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

#include "TestFolders.h"
#include "X11TestSupport.h"
#include "XvfbServer.h"
#include "platform/linux/X11Errors.h"

#include <X11/extensions/XTest.h>

namespace ambrel {

namespace {

int CountLines(const std::string& text, const std::string& prefix) {
  std::istringstream lines(text);
  int count = 0;
  for (std::string line; std::getline(lines, line);)
    if (line.rfind(prefix, 0) == 0) ++count;
  return count;
}

// The drawn pixels of a region, twice a moment apart: never black, and changing.
void ExpectLiveDrawing(Display* display, Drawable drawable, int x, int y, int width, int height) {
  const std::vector<uint32_t> before = ReadRgb(display, drawable, x, y, width, height);
  std::vector<uint32_t> after;
  for (int attempt = 0; attempt < 40; ++attempt) {
    usleep(50000);
    after = ReadRgb(display, drawable, x, y, width, height);
    if (after != before) break;
  }
  EXPECT_TRUE(AllNonBlack(before));
  EXPECT_TRUE(AllNonBlack(after));
  EXPECT_NE(before, after) << "the picture did not change";
}

// The blue of the driver's processor-drawn pattern (red x, green y, a blue
// above 0x3f: frames put in several requests may mix) at the region's first
// pixel, or 0 when something else is there.
uint32_t PatternBlue(Display* display, Drawable drawable, int x, int y, int width, int height) {
  const std::vector<uint32_t> pixels = ReadRgb(display, drawable, x, y, width, height);
  if (pixels.size() != size_t(width) * size_t(height)) return 0;
  for (int row = 0; row < height; ++row)
    for (int column = 0; column < width; ++column) {
      const uint32_t pixel = pixels[size_t(row) * size_t(width) + size_t(column)];
      if ((pixel & 0xffff00) != (uint32_t(column & 0xff) << 16 | uint32_t(row & 0xff) << 8) || (pixel & 0xff) < 0x40)
        return 0;
    }
  return pixels[0] & 0xff;
}

// The pattern, whole (once the frame reached the server), and again with
// another frame's blue.
void ExpectLivePattern(Display* display, Drawable drawable, int x, int y, int width, int height) {
  uint32_t before = 0, after = 0;
  for (int attempt = 0; attempt < 40 && !before; ++attempt) {
    if (attempt) usleep(50000);
    before = PatternBlue(display, drawable, x, y, width, height);
  }
  for (int attempt = 0; attempt < 40 && (after == before || !after); ++attempt) {
    usleep(50000);
    after = PatternBlue(display, drawable, x, y, width, height);
  }
  EXPECT_NE(before, 0u) << "the frame drawn on the processor is not what shows";
  EXPECT_NE(after, 0u) << "the frame drawn on the processor is not what shows";
  EXPECT_NE(before, after) << "the picture did not change";
}

class X11Engine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server = new XvfbServer;
    std::string error;
    ASSERT_TRUE(server->Start({"+xinerama", "-screen", "0", "640x480x24", "-screen", "1", "640x480x24"}, &error))
        << error;
  }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  void SetUp() override {
    ASSERT_FALSE(home.empty());
    display = std::make_unique<TestDisplay>(server->name());
    ASSERT_TRUE(display->get());
  }
  bool Run(ChildProcess& child, const std::vector<std::string>& arguments,
           std::vector<std::string> environment = {}) {
    environment.insert(environment.begin(), {"DISPLAY=" + server->name(), "HOME=" + home, "XSCREENSAVER_WINDOW"});
    return child.Start(X11_ENGINE_DRIVER, arguments, environment);
  }
  static XvfbServer* server;
  TempFolder homeFolder{"x11-home"};
  const std::string home = homeFolder.path();
  std::unique_ptr<TestDisplay> display;
};
XvfbServer* X11Engine::server = nullptr;

TEST_F(X11Engine, FullScreenCapturesFirstDrawsOnEveryMonitorAndQuitsOnAKey) {
  FillRect(*display, display->root(), 0xff0000, 0, 0, 640, 240);
  FillRect(*display, display->root(), 0x0000ff, 0, 240, 640, 240);

  ChildProcess engine;
  ASSERT_TRUE(Run(engine, {"full"}));
  std::string line;
  for (int view = 0; view < 2; ++view) {
    ASSERT_TRUE(engine.WaitForLine("created", 20, &line)) << engine.errors();
    EXPECT_EQ(line, "created 640x480+0+0 preview=0");
    // Taken before any window shows: the desktop as it was, bottom row first.
    ASSERT_TRUE(engine.WaitForLine("capture", 5, &line));
    EXPECT_EQ(line, "capture 640x480 bottomleft=0000ff topleft=ff0000");
    ASSERT_TRUE(engine.WaitForLine("surface", 5, &line));
    EXPECT_EQ(line, "surface yes");
  }
  // Both monitors lie at the same place here: the view wholly under the other
  // one's window draws nothing, as nothing of it can be seen.
  ASSERT_TRUE(engine.WaitForLine("first frame", 20)) << engine.errors();
  EXPECT_EQ(CountLines(engine.output(), "size 640x480"), 2);
  EXPECT_EQ(CountLines(engine.output(), "start screen="), 2);
  ExpectLiveDrawing(*display, display->root(), 0, 0, 640, 480);

  const KeyCode key = XKeysymToKeycode(*display, XK_a);
  XTestFakeKeyEvent(*display, key, True, 0);
  XTestFakeKeyEvent(*display, key, False, 0);
  XSync(*display, False);
  EXPECT_EQ(engine.Wait(20), 0) << engine.errors();
  EXPECT_EQ(CountLines(engine.output(), "stop"), 2);
  EXPECT_EQ(CountLines(engine.output(), "released"), 2);
  EXPECT_NE(engine.output().find("exit 0 released 2 of 2"), std::string::npos) << engine.output();
}

TEST_F(X11Engine, SigtermAndSigintReleaseEveryViewAndExitZero) {
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    ChildProcess engine;
    ASSERT_TRUE(Run(engine, {"full"}));
    ASSERT_TRUE(engine.WaitForLine("first frame", 20)) << engine.errors();
    engine.Signal(signal);
    EXPECT_EQ(engine.Wait(20), 0) << engine.errors();
    EXPECT_NE(engine.output().find("exit 0 released 2 of 2"), std::string::npos) << engine.output();
  }
}

TEST_F(X11Engine, SmallPointerMovesAreIgnoredAndARealMoveQuits) {
  XTestFakeMotionEvent(*display, -1, 300, 300, 0);
  XSync(*display, False);
  ChildProcess engine;
  ASSERT_TRUE(Run(engine, {"full"}));
  ASSERT_TRUE(engine.WaitForLine("first frame", 20)) << engine.errors();
  XTestFakeMotionEvent(*display, -1, 303, 302, 0);
  XSync(*display, False);
  // Two frames drawn after the bump reached the server: the second began after
  // the engine had read its events.
  ExpectLiveDrawing(*display, display->root(), 0, 0, 640, 480);
  ExpectLiveDrawing(*display, display->root(), 0, 0, 640, 480);
  EXPECT_TRUE(engine.Running()) << "a bump of the desk ended the run";
  XTestFakeMotionEvent(*display, -1, 400, 380, 0);
  XSync(*display, False);
  EXPECT_EQ(engine.Wait(20), 0) << engine.errors();
  EXPECT_NE(engine.output().find("exit 0 released 2 of 2"), std::string::npos) << engine.output();
}

TEST_F(X11Engine, WindowAndPreviewModesMakeOneViewOfTheirSize) {
  ChildProcess window;
  ASSERT_TRUE(Run(window, {"window", "300x200"}));
  std::string line;
  ASSERT_TRUE(window.WaitForLine("created", 20, &line)) << window.errors();
  EXPECT_EQ(line.rfind("created 300x200", 0), 0u) << line;
  EXPECT_NE(line.find("preview=0"), std::string::npos);
  ASSERT_TRUE(window.WaitForLine("first frame", 20));
  window.Signal(SIGINT);
  EXPECT_EQ(window.Wait(20), 0);
  EXPECT_NE(window.output().find("exit 0 released 1 of 1"), std::string::npos) << window.output();

  ChildProcess preview;
  ASSERT_TRUE(Run(preview, {"preview"}));
  ASSERT_TRUE(preview.WaitForLine("created", 20, &line)) << preview.errors();
  EXPECT_EQ(line.rfind("created 400x300", 0), 0u) << line;
  EXPECT_NE(line.find("preview=1"), std::string::npos);
  preview.Signal(SIGTERM);
  EXPECT_EQ(preview.Wait(20), 0);
}

TEST_F(X11Engine, HackDrawsIntoTheGivenWindowFollowsItsSizeAndMapsNothing) {
  const Window target = XCreateSimpleWindow(*display, display->root(), 20, 30, 320, 240, 0, 0, 0);
  XMapWindow(*display, target);
  XSync(*display, False);
  Window root = None, parent = None, *children = nullptr;
  unsigned before = 0, after = 0;
  XQueryTree(*display, display->root(), &root, &parent, &children, &before);
  XFree(children);

  char id[32];
  std::snprintf(id, sizeof id, "0x%lx", target);
  ChildProcess engine;
  ASSERT_TRUE(Run(engine, {"hack", "--window-id", id}));
  std::string line;
  ASSERT_TRUE(engine.WaitForLine("created", 20, &line)) << engine.errors();
  EXPECT_EQ(line, "created 320x240+20+30 preview=1");
  ASSERT_TRUE(engine.WaitForLine("capture", 5, &line));
  EXPECT_EQ(line, "capture none") << "no desktop grabbing allowed by default";
  ASSERT_TRUE(engine.WaitForLine("first frame", 20)) << engine.errors();
  ExpectLiveDrawing(*display, target, 0, 0, 320, 240);

  XResizeWindow(*display, target, 200, 150);
  XSync(*display, False);
  ASSERT_TRUE(engine.WaitForLine("size 200x150", 20)) << engine.output();

  XQueryTree(*display, display->root(), &root, &parent, &children, &after);
  XFree(children);
  EXPECT_EQ(after, before) << "the hack made a window of its own";

  engine.Signal(SIGTERM);
  EXPECT_EQ(engine.Wait(20), 0) << engine.errors();
  EXPECT_NE(engine.output().find("exit 0 released 1 of 1"), std::string::npos) << engine.output();
  // Input does not end a hack; only the daemon does.
  XDestroyWindow(*display, target);
}

TEST_F(X11Engine, HackRootMeansTheDaemonsWindowAndHonoursGrabDesktopImages) {
  const Window target = XCreateSimpleWindow(*display, display->root(), 0, 0, 320, 240, 0, 0, 0);
  const Pixmap shot = XCreatePixmap(*display, display->root(), 320, 240, 24);
  FillRect(*display, shot, 0x00ff00, 0, 0, 320, 240);
  FillRect(*display, shot, 0xff00ff, 0, 0, 320, 1);
  const Atom property = XInternAtom(*display, "_SCREENSAVER_SCREENSHOT", False);
  XChangeProperty(*display, target, property, XA_PIXMAP, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&shot), 1);
  XMapWindow(*display, target);
  XSync(*display, False);
  char id[32];
  std::snprintf(id, sizeof id, "0x%lX", target);

  for (bool allowed : {false, true}) {
    SCOPED_TRACE(allowed);
    std::ofstream(home + "/.xscreensaver") << "grabDesktopImages:\t" << (allowed ? "True" : "False") << "\n";
    ChildProcess engine;
    ASSERT_TRUE(Run(engine, {"hack", "-root"}, {std::string("XSCREENSAVER_WINDOW=") + id}));
    std::string line;
    ASSERT_TRUE(engine.WaitForLine("created", 20, &line)) << engine.errors();
    EXPECT_EQ(line, "created 320x240+0+0 preview=0");
    ASSERT_TRUE(engine.WaitForLine("capture", 5, &line));
    EXPECT_EQ(line, allowed ? "capture 320x240 bottomleft=00ff00 topleft=ff00ff" : "capture none");
    ASSERT_TRUE(engine.WaitForLine("first frame", 20)) << engine.errors();
    engine.Signal(SIGTERM);
    EXPECT_EQ(engine.Wait(20), 0) << engine.errors();
  }
  XDestroyWindow(*display, target);
  XFreePixmap(*display, shot);
}

TEST_F(X11Engine, HackWithABadWindowFailsAndEndsQuietlyWhenTheWindowGoes) {
  ChildProcess missing;
  ASSERT_TRUE(Run(missing, {"hack", "-window-id", "0x1fffff0"}));
  EXPECT_EQ(missing.Wait(20), 1);
  EXPECT_NE(missing.errors().find("no window 0x1fffff0"), std::string::npos) << missing.errors();

  // A window nothing can be drawn in: one line, not an X error every frame.
  XSetWindowAttributes none{};
  const Window inputOnly =
      XCreateWindow(*display, display->root(), 0, 0, 160, 120, 0, 0, InputOnly, CopyFromParent, 0, &none);
  XMapWindow(*display, inputOnly);
  XSync(*display, False);
  ChildProcess blind;
  ASSERT_TRUE(Run(blind, {"hack", "-window-id", std::to_string(inputOnly)}));
  EXPECT_EQ(blind.Wait(20), 1);
  EXPECT_NE(blind.errors().find("takes input only"), std::string::npos) << blind.errors();
  EXPECT_EQ(CountLines(blind.errors(), ""), 1) << blind.errors();
  XDestroyWindow(*display, inputOnly);

  ChildProcess garbage;
  ASSERT_TRUE(Run(garbage, {"hack", "-root"}, {"XSCREENSAVER_WINDOW=window"}));
  EXPECT_EQ(garbage.Wait(20), 1);
  EXPECT_NE(garbage.errors().find("not a window id"), std::string::npos) << garbage.errors();

  // The daemon destroys the window under a running hack (an unblank): it leaves
  // quietly, without a crash.
  const Window target = XCreateSimpleWindow(*display, display->root(), 0, 0, 160, 120, 0, 0, 0);
  XMapWindow(*display, target);
  XSync(*display, False);
  char id[32];
  std::snprintf(id, sizeof id, "%lu", target);
  ChildProcess engine;
  ASSERT_TRUE(Run(engine, {"hack", "-window-id", id}));
  ASSERT_TRUE(engine.WaitForLine("first frame", 20)) << engine.errors();
  XDestroyWindow(*display, target);
  XSync(*display, False);
  EXPECT_EQ(engine.Wait(20), 0) << engine.errors();
  EXPECT_EQ(engine.errors(), "");
  EXPECT_NE(engine.output().find("released 1 of 1"), std::string::npos) << engine.output();
}

// A request made every frame that fails fails every frame: each kind of error is
// said once, so stderr (often .xsession-errors) does not fill up.
TEST_F(X11Engine, AnXErrorThatRepeatsIsSaidOnce) {
  InstallX11ErrorHandlers();
  testing::internal::CaptureStderr();
  for (int frame = 0; frame < 100; ++frame) {
    XMapWindow(*display, 0x1fffff0);
    XUnmapWindow(*display, 0x1fffff0);
  }
  XSync(*display, False);
  const std::string said = testing::internal::GetCapturedStderr();
  XSetErrorHandler(nullptr);
  XSetIOErrorHandler(nullptr);
  EXPECT_EQ(CountLines(said, "ambrel: X error: BadWindow"), 2) << said;
}

// Drawn on the processor, frames show through shared memory (nothing said) in
// each mode: a window per monitor, a window asking once shown, the daemon's
// window (unless its visual cannot take the pixels: then the view uses GL).
TEST_F(X11Engine, FramesDrawnOnTheProcessorShowInEveryMode) {
  {
    SCOPED_TRACE("full screen");
    ChildProcess engine;
    ASSERT_TRUE(Run(engine, {"full"}, {"DRIVER_PIXELS=early"}));
    ASSERT_TRUE(engine.WaitForLine("first frame", 20)) << engine.output() << engine.errors();
    ExpectLivePattern(*display, display->root(), 0, 0, 640, 480);
    engine.Signal(SIGTERM);
    EXPECT_EQ(engine.Wait(20), 0) << engine.errors();
    EXPECT_EQ(engine.errors(), "");
    EXPECT_EQ(CountLines(engine.output(), "pixels yes"), 2) << engine.output();
    EXPECT_NE(engine.output().find("exit 0 released 2 of 2"), std::string::npos) << engine.output();
  }
  {
    SCOPED_TRACE("window, resized every frame and down to 1x1");
    ChildProcess engine;
    ASSERT_TRUE(Run(engine, {"window", "300x200"}, {"DRIVER_PIXELS=late"}));
    ASSERT_TRUE(engine.WaitForLine("pixels yes", 20)) << engine.output() << engine.errors();
    ASSERT_TRUE(engine.WaitForLine("first frame", 20)) << engine.errors();
    const Window window = FindWindowNamed(*display, display->root(), "Ambrel");
    ASSERT_NE(window, None);
    ExpectLivePattern(*display, window, 0, 0, 300, 200);
    for (int step = 1; step <= 60; ++step) {
      XResizeWindow(*display, window, unsigned(1 + step * 37 % 400), unsigned(1 + step * 53 % 300));
      XSync(*display, False);
      usleep(16000);
    }
    XResizeWindow(*display, window, 1, 1);
    XSync(*display, False);
    ASSERT_TRUE(engine.WaitForLine("size 1x1", 20)) << engine.output();
    ASSERT_TRUE(engine.WaitForLine("frame", 20));
    ExpectLivePattern(*display, window, 0, 0, 1, 1);
    XResizeWindow(*display, window, 520, 280);
    XSync(*display, False);
    ASSERT_TRUE(engine.WaitForLine("size 520x280", 20)) << engine.output();
    ASSERT_TRUE(engine.WaitForLine("frame", 20));
    ExpectLivePattern(*display, window, 0, 0, 520, 280);
    engine.Signal(SIGTERM);
    EXPECT_EQ(engine.Wait(20), 0) << engine.errors();
    EXPECT_EQ(engine.errors(), "");
  }
  const Window target = XCreateSimpleWindow(*display, display->root(), 20, 30, 320, 240, 0, 0, 0);
  XMapWindow(*display, target);
  XVisualInfo direct{};
  ASSERT_TRUE(XMatchVisualInfo(*display, DefaultScreen(display->get()), 24, DirectColor, &direct));
  XSetWindowAttributes attributes{};
  attributes.colormap = XCreateColormap(*display, display->root(), direct.visual, AllocNone);
  const Window directTarget = XCreateWindow(*display, display->root(), 440, 320, 160, 120, 0, 24, InputOutput,
                                            direct.visual, CWColormap | CWBorderPixel, &attributes);
  XMapWindow(*display, directTarget);
  XSync(*display, False);
  {
    SCOPED_TRACE("the daemon's window");
    ChildProcess engine;
    ASSERT_TRUE(Run(engine, {"hack", "-window-id", std::to_string(target)}, {"DRIVER_PIXELS=early"}));
    ASSERT_TRUE(engine.WaitForLine("pixels yes", 20)) << engine.output() << engine.errors();
    ASSERT_TRUE(engine.WaitForLine("first frame", 20)) << engine.errors();
    ExpectLivePattern(*display, target, 0, 0, 320, 240);
    // Gone under the hack, as on an unblank: a quiet end.
    XDestroyWindow(*display, target);
    XSync(*display, False);
    EXPECT_EQ(engine.Wait(20), 0) << engine.errors();
    EXPECT_EQ(engine.errors(), "");
  }
  {
    SCOPED_TRACE("the daemon's window of a visual that does not take the pixels");
    ChildProcess engine;
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", directTarget);
    ASSERT_TRUE(Run(engine, {"hack", "-root"}, {"DRIVER_PIXELS=early", std::string("XSCREENSAVER_WINDOW=") + id}));
    std::string line;
    ASSERT_TRUE(engine.WaitForLine("pixels", 20, &line)) << engine.errors();
    EXPECT_EQ(line, "pixels no");
    engine.Signal(SIGTERM);
    EXPECT_EQ(engine.Wait(20), 0) << engine.errors();
  }
  XDestroyWindow(*display, directTarget);
  XFreeColormap(*display, attributes.colormap);
}

// Without shared memory (no MIT-SHM, or a server that cannot map our segment,
// as a remote one) frames go through XPutImage, said in one line for the run
// however many monitors; a server whose default visual does not take the
// pixels gets them in a child window of one that does.
TEST(X11EnginePixels, WithoutSharedMemoryFramesGoThroughXPutImageSaidOnce) {
  const bool namespaces = RunToEnd({"unshare", "--ipc", "true"}) == 0;
  struct Case {
    const char* name;
    std::vector<std::string> server;
    bool ownIpc;
    const char* said;  // null: nothing
  };
  const std::vector<Case> cases = {
      // Nor GLX: there the frames need no OpenGL at all.
      {"no MIT-SHM", {"-extension", "MIT-SHM", "-extension", "GLX", "-screen", "0", "640x480x24"}, false,
       "has no MIT-SHM"},
      {"DirectColor by default", {"-screen", "0", "640x480x24", "-cc", "5"}, false, nullptr},
      {"segment refused", {"+xinerama", "-screen", "0", "640x480x24", "-screen", "1", "640x480x24"}, true,
       "cannot map our shared memory"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    if (test.ownIpc && !namespaces)
      GTEST_SKIP() << "unshare --ipc is not permitted here: no server can be kept from our shared memory";
    XvfbServer server;
    std::string error;
    ASSERT_TRUE(server.Start(test.server, &error, test.ownIpc)) << error;
    TestDisplay display(server.name());
    ASSERT_TRUE(display.get());
    ChildProcess engine;
    ASSERT_TRUE(engine.Start(X11_ENGINE_DRIVER, {"full"}, {"DISPLAY=" + server.name(), "DRIVER_PIXELS=early"}));
    ASSERT_TRUE(engine.WaitForLine("first frame", 20)) << engine.errors();
    ExpectLivePattern(display, display.root(), 0, 0, 640, 480);
    engine.Signal(SIGTERM);
    EXPECT_EQ(engine.Wait(20), 0) << engine.errors();
    EXPECT_EQ(CountLines(engine.output(), "pixels yes"), CountLines(engine.output(), "created")) << engine.output();
    if (test.said) {
      EXPECT_EQ(CountLines(engine.errors(), ""), 1) << engine.errors();
      EXPECT_NE(engine.errors().find(test.said), std::string::npos) << engine.errors();
      EXPECT_NE(engine.errors().find("through XPutImage"), std::string::npos) << engine.errors();
    } else {
      EXPECT_EQ(engine.errors(), "");
    }
  }
  // In an IPC namespace of the server's own: a process killed outright leaves
  // no segment behind; a window grown past the largest segment the system makes
  // shows frames through shared memory until then, XPutImage after, said once.
  SCOPED_TRACE("grown past the largest segment");
  XvfbServer server;
  std::string error;
  ASSERT_TRUE(server.Start({"-screen", "0", "640x480x24"}, &error, true)) << error;
  const std::string ipc = "--ipc=/proc/" + std::to_string(server.pid()) + "/ns/ipc";
  if (RunToEnd({"nsenter", ipc, "sh", "-c", "echo 300000 >/proc/sys/kernel/shmmax"}) != 0)
    GTEST_SKIP() << "/proc/sys/kernel/shmmax cannot be set here: no segment size can be refused";
  TestDisplay display(server.name());
  ASSERT_TRUE(display.get());
  {
    SCOPED_TRACE("killed outright");
    ChildProcess killed;
    ASSERT_TRUE(killed.Start("nsenter", {ipc, X11_ENGINE_DRIVER, "window", "200x200"},
                             {"DISPLAY=" + server.name(), "DRIVER_PIXELS=early"}));
    ASSERT_TRUE(killed.WaitForLine("first frame", 20)) << killed.errors();
    killed.Signal(SIGKILL);
    killed.Wait(20);
    // Its segments go with the server's hold on them, nothing left in the system.
    bool gone = false;
    for (int attempt = 0; attempt < 100 && !gone; ++attempt) {
      if (attempt) usleep(50000);
      ChildProcess list;
      ASSERT_TRUE(list.Start("nsenter", {ipc, "cat", "/proc/sysvipc/shm"}, {}));
      ASSERT_EQ(list.Wait(20), 0);
      gone = CountLines(list.output(), "") == 1;
    }
    EXPECT_TRUE(gone) << "a shared memory segment outlived the process that made it";
  }
  ChildProcess engine;
  ASSERT_TRUE(engine.Start("nsenter", {ipc, X11_ENGINE_DRIVER, "window", "200x200"},
                           {"DISPLAY=" + server.name(), "DRIVER_PIXELS=early"}));
  ASSERT_TRUE(engine.WaitForLine("first frame", 20)) << engine.errors();
  const Window window = FindWindowNamed(display, display.root(), "Ambrel");
  ASSERT_NE(window, None);
  ExpectLivePattern(display, window, 0, 0, 200, 200);
  engine.Collect();
  EXPECT_EQ(engine.errors(), "");
  XResizeWindow(display, window, 400, 300);
  XSync(display, False);
  ASSERT_TRUE(engine.WaitForLine("size 400x300", 20)) << engine.output();
  ASSERT_TRUE(engine.WaitForLine("frame", 20));
  ExpectLivePattern(display, window, 0, 0, 400, 300);
  engine.Signal(SIGTERM);
  EXPECT_EQ(engine.Wait(20), 0) << engine.errors();
  EXPECT_EQ(CountLines(engine.errors(), ""), 1) << engine.errors();
  EXPECT_NE(engine.errors().find("no shared memory segment for the frame"), std::string::npos) << engine.errors();
}

TEST(X11EngineMonitors, SideBySideMonitorsEachGetAViewThatDrawsAndKnowsItsScreen) {
  XvfbServer server;
  std::string error;
  ASSERT_TRUE(server.Start({"-screen", "0", "1280x480x24"}, &error)) << error;
  TestDisplay display(server.name());
  ASSERT_TRUE(SetSideBySideMonitors(display));
  ChildProcess engine;
  ASSERT_TRUE(engine.Start(X11_ENGINE_DRIVER, {"full"}, {"DISPLAY=" + server.name()}));
  ASSERT_TRUE(engine.WaitForLine("first frame", 20)) << engine.errors();
  ASSERT_TRUE(engine.WaitForLine("first frame", 20)) << engine.errors();
  const std::string& out = engine.output();
  // RandR lists the primary monitor first: it is screen 1 and the main one.
  const size_t right = out.find("created 640x480+640+0 preview=0"), left = out.find("created 640x480+0+0 preview=0");
  ASSERT_NE(right, std::string::npos) << out;
  ASSERT_NE(left, std::string::npos) << out;
  EXPECT_LT(right, left);
  EXPECT_NE(out.find("start screen=1 main=1"), std::string::npos) << out;
  EXPECT_NE(out.find("start screen=2 main=1"), std::string::npos) << out;
  ExpectLiveDrawing(display, display.root(), 0, 0, 640, 480);
  ExpectLiveDrawing(display, display.root(), 640, 0, 640, 480);
  engine.Signal(SIGTERM);
  EXPECT_EQ(engine.Wait(20), 0) << engine.errors();
  EXPECT_NE(engine.output().find("exit 0 released 2 of 2"), std::string::npos) << engine.output();
}

// The frames the driver has reported so far.
int Frames(ChildProcess& engine) {
  engine.Collect();
  return CountLines(engine.output(), "frame ");
}

// Shown again, the view draws again (the deadline is for a hang only).
void ExpectDrawingResumes(ChildProcess& engine, int before) {
  bool resumed = false;
  for (int attempt = 0; attempt < 200 && !resumed; ++attempt) {
    usleep(50000);
    resumed = Frames(engine) > before;
  }
  EXPECT_TRUE(resumed) << engine.errors();
}

// Hidden, the view sets no wake-up: the engine sleeps until an event, so it draws
// nothing until one shows the window again.
void ExpectNothingDrawnWhileHidden(ChildProcess& engine, const std::string& how, const std::function<void()>& hide,
                                   const std::function<void()>& show) {
  SCOPED_TRACE(how);
  hide();
  bool idle = false;
  for (int attempt = 0; attempt < 400 && !(idle = SleepsUntilAnEvent(engine.pid())); ++attempt) usleep(50000);
  EXPECT_TRUE(idle) << "the hidden view keeps the engine awake";
  const int hidden = Frames(engine);
  show();
  ExpectDrawingResumes(engine, hidden);
}

bool redirectRefused = false;
int NoteRefusal(Display*, XErrorEvent* error) {
  redirectRefused = error->error_code == BadAccess;
  return 0;
}

// A real window manager (twm) between the window and the server: iconified,
// withdrawn (unmapped), covered by another window, or on monitors that DPMS says
// are asleep (a stand-in state: Xvfb has no DPMS), the window's view draws
// nothing and wakes at most once a second; shown again, it draws again.
TEST(X11EngineWindowManager, AnIconifiedUnmappedCoveredOrSleepingWindowDrawsNothingUntilShown) {
  XvfbServer server;
  std::string error;
  ASSERT_TRUE(server.Start({"-screen", "0", "800x600x24"}, &error)) << error;
  TempFolder folder{"x11-wm"};
  const std::string rc = folder.path() + "/twmrc", power = folder.path() + "/monitors";
  // Placed without asking anyone, in the one font Xvfb always has.
  std::ofstream(rc) << "RandomPlacement\nUsePPosition \"on\"\nNoTitle\n"
                    << "TitleFont \"fixed\"\nResizeFont \"fixed\"\nMenuFont \"fixed\"\nIconFont \"fixed\"\n"
                    << "IconManagerFont \"fixed\"\n";
  std::ofstream(power) << "on";
  ChildProcess wm;
  ASSERT_TRUE(wm.Start("/usr/bin/twm", {"-f", rc}, {"DISPLAY=" + server.name(), "LC_ALL=C"}));
  TestDisplay display(server.name());
  ASSERT_TRUE(display.get());
  // The manager is up once the root's redirection is taken.
  XSetErrorHandler(NoteRefusal);
  for (int attempt = 0; attempt < 200 && !redirectRefused; ++attempt) {
    XSelectInput(display, display.root(), SubstructureRedirectMask);
    XSync(display, False);
    XSelectInput(display, display.root(), NoEventMask);
    XSync(display, False);
    if (!redirectRefused) usleep(50000);
  }
  XSetErrorHandler(nullptr);
  ASSERT_TRUE(redirectRefused) << wm.errors();

  ChildProcess engine;
  ASSERT_TRUE(engine.Start(X11_ENGINE_DRIVER, {"window", "300x200"},
                           {"DISPLAY=" + server.name(), "DRIVER_MONITORS_FILE=" + power}));
  ASSERT_TRUE(engine.WaitForLine("first frame", 20)) << engine.errors();
  const Window window = FindWindowNamed(display, display.root(), "Ambrel");
  ASSERT_NE(window, None);

  ExpectNothingDrawnWhileHidden(
      engine, "iconified", [&] { XIconifyWindow(display, window, 0), XSync(display, False); },
      [&] { XMapWindow(display, window), XSync(display, False); });
  ExpectNothingDrawnWhileHidden(
      engine, "unmapped", [&] { XUnmapWindow(display, window), XSync(display, False); },
      [&] { XMapWindow(display, window), XSync(display, False); });
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  const Window cover = XCreateWindow(display, display.root(), 0, 0, 800, 600, 0, CopyFromParent, InputOutput,
                                     CopyFromParent, CWOverrideRedirect, &attributes);
  ExpectNothingDrawnWhileHidden(
      engine, "covered", [&] { XMapRaised(display, cover), XSync(display, False); },
      [&] { XUnmapWindow(display, cover), XSync(display, False); });
  {
    SCOPED_TRACE("monitors asleep");
    // Asleep, the engine wakes once a second to ask again: over two such ticks of
    // its own clock, nothing is drawn after the answer that put the view to sleep.
    std::ofstream(power) << "off";
    ASSERT_TRUE(engine.WaitForLine("monitors asked off", 20)) << engine.errors();
    const size_t asleep = engine.output().find("monitors asked off");
    for (int tick = 0; tick < 2; ++tick) ASSERT_TRUE(engine.WaitForLine("monitors asked", 20)) << engine.errors();
    EXPECT_EQ(CountLines(engine.output().substr(asleep), "frame "), 0) << "drew while the monitors slept";
    const int frames = Frames(engine);
    std::ofstream(power) << "on";
    ExpectDrawingResumes(engine, frames);
  }
  // The state is asked about once a second by the engine's clock, asleep or not:
  // never every frame.
  std::istringstream lines(engine.output());
  double previous = -1;
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find(" at ");
    if (line.rfind("monitors asked", 0) != 0 || at == std::string::npos) continue;
    const double asked = std::stod(line.substr(at + 4));
    if (previous >= 0) {
      EXPECT_GE(asked - previous, 0.99) << line;
    }
    previous = asked;
  }

  engine.Signal(SIGTERM);
  EXPECT_EQ(engine.Wait(20), 0) << engine.errors();
  EXPECT_NE(engine.output().find("exit 0 released 1 of 1"), std::string::npos);
  wm.Signal(SIGTERM);
  wm.Wait(10);
}

TEST(X11EngineServerLoss, AServerThatGoesAwayEndsTheRunWithAMessage) {
  XvfbServer server;
  std::string error;
  ASSERT_TRUE(server.Start({"-screen", "0", "320x240x24"}, &error)) << error;
  ChildProcess engine;
  ASSERT_TRUE(engine.Start(X11_ENGINE_DRIVER, {"full"}, {"DISPLAY=" + server.name()}));
  ASSERT_TRUE(engine.WaitForLine("first frame", 20)) << engine.errors();
  kill(server.pid(), SIGKILL);
  EXPECT_EQ(engine.Wait(20), 1) << engine.errors();
  EXPECT_NE(engine.errors().find("lost the connection to the X server"), std::string::npos) << engine.errors();
}

}  // namespace

}  // namespace ambrel
