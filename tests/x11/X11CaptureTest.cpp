// Screen capture from real servers of several depths, XScreenSaver's screenshot
// property, and the grabDesktopImages choice read from real files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "TestFolders.h"
#include "X11TestSupport.h"
#include "XvfbServer.h"
#include "platform/linux/X11Capture.h"

namespace ambrel {

namespace {

uint32_t PixelAt(const CapturedImage& image, int column, int rowFromTop) {
  const size_t row = size_t(image.height - 1 - rowFromTop);
  const uint8_t* p = &image.pixels[(row * size_t(image.width) + size_t(column)) * 4];
  return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

class X11Capture24 : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server = new XvfbServer;
    std::string error;
    ASSERT_TRUE(server->Start({"-screen", "0", "640x480x24"}, &error)) << error;
  }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  static XvfbServer* server;
};
XvfbServer* X11Capture24::server = nullptr;

TEST_F(X11Capture24, RootRectComesBackAsRgbaBottomRowFirst) {
  TestDisplay display(server->name());
  ASSERT_TRUE(display.get());
  FillRect(display, display.root(), 0xff0000, 0, 0, 640, 240);    // top half red
  FillRect(display, display.root(), 0x0000ff, 0, 240, 640, 240);  // bottom half blue
  FillRect(display, display.root(), 0x00ff00, 10, 5, 1, 1);       // one green marker near the top left

  CapturedImage image;
  ASSERT_TRUE(CaptureRootRect(display, Rect{0, 0, 640, 480}, &image));
  ASSERT_EQ(image.width, 640);
  ASSERT_EQ(image.height, 480);
  ASSERT_EQ(image.pixels.size(), 640u * 480u * 4u);
  // The first bytes are the bottom-left pixel.
  EXPECT_EQ(image.pixels[0], 0);
  EXPECT_EQ(image.pixels[1], 0);
  EXPECT_EQ(image.pixels[2], 255);
  EXPECT_EQ(image.pixels[3], 255);
  EXPECT_EQ(PixelAt(image, 0, 0), 0xff0000u);
  EXPECT_EQ(PixelAt(image, 10, 5), 0x00ff00u);
  EXPECT_EQ(PixelAt(image, 11, 5), 0xff0000u);
  EXPECT_EQ(PixelAt(image, 639, 479), 0x0000ffu);

  // A part of the root: same pixels, relative to the part.
  ASSERT_TRUE(CaptureRootRect(display, Rect{8, 4, 4, 2}, &image));
  EXPECT_EQ(image.width, 4);
  EXPECT_EQ(image.height, 2);
  EXPECT_EQ(PixelAt(image, 2, 1), 0x00ff00u);
}

TEST_F(X11Capture24, RectanglesBeyondTheRootAreClippedOrRefused) {
  TestDisplay display(server->name());
  CapturedImage image;
  ASSERT_TRUE(CaptureRootRect(display, Rect{600, 400, 100, 100}, &image));
  EXPECT_EQ(image.width, 40);
  EXPECT_EQ(image.height, 80);
  EXPECT_FALSE(CaptureRootRect(display, Rect{640, 0, 100, 100}, &image));
  EXPECT_FALSE(CaptureRootRect(display, Rect{0, 0, 0, 480}, &image));
  // A drawable that does not exist: an X error, trapped, and no image.
  EXPECT_FALSE(CaptureDrawable(display, 0x1fffff0, DefaultVisual(display.get(), 0),
                               DefaultColormap(display.get(), 0), 0, 0, 4, 4, &image));
}

TEST_F(X11Capture24, ScreenshotPropertyIsReadCroppedAndRefusedWhenBroken) {
  TestDisplay display(server->name());
  const Window window = XCreateSimpleWindow(display, display.root(), 0, 0, 200, 100, 0, 0, 0);
  const Atom property = XInternAtom(display, "_SCREENSAVER_SCREENSHOT", False);
  CapturedImage image;
  EXPECT_FALSE(CaptureScreenshotProperty(display, window, nullptr, &image)) << "no property yet";

  const Pixmap pixmap = XCreatePixmap(display, display.root(), 400, 200, 24);
  FillRect(display, pixmap, 0x00ff00, 0, 0, 400, 200);
  FillRect(display, pixmap, 0xff0000, 0, 0, 400, 1);    // top row red
  FillRect(display, pixmap, 0xffff00, 100, 50, 1, 1);   // marker
  XChangeProperty(display, window, property, XA_PIXMAP, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pixmap), 1);
  XSync(display, False);

  ASSERT_TRUE(CaptureScreenshotProperty(display, window, nullptr, &image));
  EXPECT_EQ(image.width, 400);
  EXPECT_EQ(image.height, 200);
  EXPECT_EQ(PixelAt(image, 0, 0), 0xff0000u);
  EXPECT_EQ(PixelAt(image, 0, 199), 0x00ff00u);

  // A full-desktop screenshot for a preview: the main monitor's part of it.
  const Rect crop{100, 50, 200, 100};
  ASSERT_TRUE(CaptureScreenshotProperty(display, window, &crop, &image));
  EXPECT_EQ(image.width, 200);
  EXPECT_EQ(image.height, 100);
  EXPECT_EQ(PixelAt(image, 0, 0), 0xffff00u);
  // A crop that does not fit: the whole screenshot.
  const Rect tooBig{300, 0, 200, 100};
  ASSERT_TRUE(CaptureScreenshotProperty(display, window, &tooBig, &image));
  EXPECT_EQ(image.width, 400);

  // Wrong type, and a pixmap that no longer exists.
  XChangeProperty(display, window, property, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>("abcd"), 4);
  XSync(display, False);
  EXPECT_FALSE(CaptureScreenshotProperty(display, window, nullptr, &image));
  XChangeProperty(display, window, property, XA_PIXMAP, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pixmap), 1);
  XFreePixmap(display, pixmap);
  XSync(display, False);
  EXPECT_FALSE(CaptureScreenshotProperty(display, window, nullptr, &image));
  XDestroyWindow(display, window);
}

// Other depths: the capture must decode by the visual, not assume 8-8-8.
TEST(X11CaptureDepths, SixteenBitAndColormappedServersDecodeToTrueColours) {
  for (const char* depth : {"16", "8"}) {
    SCOPED_TRACE(depth);
    XvfbServer server;
    std::string error;
    ASSERT_TRUE(server.Start({"-screen", "0", std::string("64x48x") + depth}, &error)) << error;
    TestDisplay display(server.name());
    ASSERT_TRUE(display.get());
    const Colormap colormap = DefaultColormap(display.get(), 0);
    XColor red{}, green{};
    red.red = 0xffff;
    green.green = 0xffff;
    ASSERT_TRUE(XAllocColor(display, colormap, &red));
    ASSERT_TRUE(XAllocColor(display, colormap, &green));
    FillRect(display, display.root(), red.pixel, 0, 0, 64, 48);
    FillRect(display, display.root(), green.pixel, 0, 47, 64, 1);  // bottom row

    CapturedImage image;
    ASSERT_TRUE(CaptureRootRect(display, Rect{0, 0, 64, 48}, &image));
    EXPECT_EQ(PixelAt(image, 5, 5), 0xff0000u);
    EXPECT_EQ(image.pixels[0], 0);
    EXPECT_EQ(image.pixels[1], 255);
    EXPECT_EQ(image.pixels[2], 0);
  }
}

class GrabDesktopImagesFiles : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(directory.empty()); }
  std::string user() const { return directory + "/.xscreensaver"; }
  std::string system() const { return directory + "/XScreenSaver"; }
  static void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
  TempFolder folder{"x11"};
  const std::string directory = folder.path();
};

TEST_F(GrabDesktopImagesFiles, UserFileWinsThenAppDefaultsThenNo) {
  EXPECT_FALSE(GrabDesktopImagesAllowed(user(), system())) << "neither file: no desktop on a locked screen";
  Write(system(), "! comment\n*grabDesktopImages:\tTrue\n*grabVideoFrames: False\n");
  EXPECT_TRUE(GrabDesktopImagesAllowed(user(), system()));
  Write(user(), "timeout:\t0:10:00\nmode:\t\trandom\n");
  EXPECT_TRUE(GrabDesktopImagesAllowed(user(), system())) << "user file without the line";
  Write(user(), "timeout:\t0:10:00\ngrabDesktopImages:\tFalse\n");
  EXPECT_FALSE(GrabDesktopImagesAllowed(user(), system()));
  Write(system(), "*grabDesktopImages: False\n");
  Write(user(), "grabDesktopImages:  true  \n");
  EXPECT_TRUE(GrabDesktopImagesAllowed(user(), system()));
  Write(user(), "grabDesktopImages: maybe\ngrabDesktopImagesX: True\n");
  EXPECT_FALSE(GrabDesktopImagesAllowed(user(), system())) << "unreadable values and other names do not count";
}

TEST_F(GrabDesktopImagesFiles, AFifoOrADeviceInPlaceOfTheUserFileIsPassedOverAtOnce) {
  Write(system(), "*grabDesktopImages: True\n");
  // In a child, so that a read that never ends fails the test instead of hanging it.
  auto answer = [&] {
    const pid_t child = fork();
    if (child == 0) _exit(GrabDesktopImagesAllowed(user(), system()) ? 1 : 0);
    int status = 0;
    for (int waited = 0; waited < 100 && waitpid(child, &status, WNOHANG) == 0; ++waited) usleep(20000);
    if (waitpid(child, &status, WNOHANG) == 0) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  ASSERT_EQ(mkfifo(user().c_str(), 0600), 0);
  EXPECT_EQ(answer(), 1) << "a FIFO";
  std::remove(user().c_str());
  ASSERT_EQ(symlink("/dev/zero", user().c_str()), 0);
  EXPECT_EQ(answer(), 1) << "a link to /dev/zero";
}

TEST(GrabDesktopImagesInstalled, DebianAppDefaultsSayNo) {
  const std::string appDefaults = "/etc/X11/app-defaults/XScreenSaver";
  if (access(appDefaults.c_str(), R_OK) != 0) GTEST_SKIP() << "xscreensaver is not installed";
  EXPECT_EQ(ReadResourceBool(appDefaults, "grabDesktopImages"), std::optional<bool>(false));
}

}  // namespace

}  // namespace ambrel
