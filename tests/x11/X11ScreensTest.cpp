// Monitor enumeration against real servers: Xinerama over two X screens, and
// RandR 1.5 monitors laid side by side on one screen with a primary.
#include <gtest/gtest.h>

#include "X11TestSupport.h"
#include "XvfbServer.h"
#include "platform/linux/X11Screens.h"

namespace ambrel {

namespace {

TEST(X11Screens, XineramaTwoScreensGiveTwoNumberedMonitorsWithTheFirstAsMain) {
  XvfbServer server;
  std::string error;
  ASSERT_TRUE(server.Start({"+xinerama", "-screen", "0", "640x480x24", "-screen", "1", "640x480x24"}, &error))
      << error;
  TestDisplay display(server.name());
  ASSERT_TRUE(display.get());

  const MonitorLayout layout = QueryMonitorLayout(display);
  ASSERT_EQ(layout.screens.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(layout.screens[i].number, int(i) + 1);
    EXPECT_EQ(layout.screens[i].frame.width, 640);
    EXPECT_EQ(layout.screens[i].frame.height, 480);
  }
  EXPECT_EQ(layout.mainIndex, 0);
  EXPECT_EQ(DisplayMaskForNumber(layout.screens[0].number), 1u);
  EXPECT_EQ(DisplayMaskForNumber(layout.screens[1].number), 2u);
}

TEST(X11Screens, RandrMonitorsKeepTheirFramesAndThePrimaryIsMain) {
  XvfbServer server;
  std::string error;
  ASSERT_TRUE(server.Start({"-screen", "0", "1280x480x24"}, &error)) << error;
  TestDisplay display(server.name());
  ASSERT_TRUE(display.get());

  ASSERT_TRUE(SetSideBySideMonitors(display));

  const MonitorLayout layout = QueryMonitorLayout(display);
  ASSERT_EQ(layout.screens.size(), 2u);
  const Screen& first = layout.screens[0];
  const Screen& second = layout.screens[1];
  EXPECT_EQ(first.frame.x + second.frame.x, 640);
  const Screen& rightScreen = first.frame.x == 640 ? first : second;
  EXPECT_EQ(layout.screens[size_t(layout.mainIndex)].number, rightScreen.number);
  EXPECT_EQ(rightScreen.frame.width, 640);
  EXPECT_EQ(rightScreen.frame.height, 480);

  // A view's rectangle on the right half belongs to the right monitor.
  const Screen* found = ScreenForRect(layout, Rect{700, 10, 100, 100});
  ASSERT_TRUE(found);
  EXPECT_EQ(found->number, rightScreen.number);
}

TEST(X11Screens, MonitorsWithoutAreaAreDroppedAndNumbersStayDense) {
  const MonitorLayout layout = LayoutFromMonitors({{Rect{0, 0, 800, 0}, true},
                                                   {Rect{0, 0, 800, 600}, false},
                                                   {Rect{800, 0, 0, 600}, false},
                                                   {Rect{800, 0, 1024, 768}, true}});
  ASSERT_EQ(layout.screens.size(), 2u);
  EXPECT_EQ(layout.screens[0].number, 1);
  EXPECT_EQ(layout.screens[1].number, 2);
  EXPECT_EQ(layout.screens[1].frame.x, 800);
  // The primary with height 0 is gone; the next primary is main.
  EXPECT_EQ(layout.mainIndex, 1);

  EXPECT_TRUE(LayoutFromMonitors({{Rect{0, 0, 0, 0}, true}}).screens.empty());
  EXPECT_EQ(LayoutFromMonitors({{Rect{0, 0, 10, 10}, false}, {Rect{10, 0, 10, 10}, false}}).mainIndex, 0);
}

TEST(X11Screens, MasksAndRectanglesFindTheirScreen) {
  const MonitorLayout layout =
      LayoutFromMonitors({{Rect{0, 0, 640, 480}, false}, {Rect{640, 0, 640, 480}, true}});
  EXPECT_EQ(DisplayMaskForNumber(0), 0u);
  EXPECT_EQ(DisplayMaskForNumber(32), 0x80000000u);
  EXPECT_EQ(DisplayMaskForNumber(33), 0u);
  ASSERT_TRUE(ScreenForDisplayMask(layout, 2u));
  EXPECT_EQ(ScreenForDisplayMask(layout, 2u)->number, 2);
  // Several bits: the lowest names the screen.
  EXPECT_EQ(ScreenForDisplayMask(layout, 3u)->number, 1);
  EXPECT_EQ(ScreenForDisplayMask(layout, 0u), nullptr);
  EXPECT_EQ(ScreenForDisplayMask(layout, 8u), nullptr);

  // A rectangle straddling both monitors goes where its centre is.
  EXPECT_EQ(ScreenForRect(layout, Rect{600, 0, 200, 100})->number, 2);
  EXPECT_EQ(ScreenForRect(layout, Rect{-50, -50, 100, 100})->number, 1);
  EXPECT_EQ(ScreenForRect(layout, Rect{5000, 0, 10, 10}), nullptr);
}

}  // namespace

}  // namespace ambrel
