// The XScreenSaver command-line conventions as the daemon and its settings
// dialog write them, and the window size and id forms.
#include <gtest/gtest.h>

#include "platform/Pictures.h"
#include "platform/linux/LinuxEngine.h"
#include "tools/ambrel/HackArguments.h"

namespace ambrel {

namespace {

TEST(EngineOptions, HackArgumentsTakeSingleAndDoubleDashesAndLeaveTheRest) {
  const char* argv[] = {"ambrel", "--root", "-fps", "-window-id", "0x2a00007", "--display=:3", "extra"};
  DisplayRequest options;
  std::vector<std::string> rest;
  std::string error;
  EXPECT_TRUE(ParseHackArguments(7, argv, &options, &rest, &error));
  EXPECT_TRUE(error.empty());
  EXPECT_TRUE(options.root);
  EXPECT_EQ(options.windowId, "0x2a00007");
  EXPECT_EQ(options.displayName, ":3");
  EXPECT_EQ(rest, (std::vector<std::string>{"-fps", "extra"}));

  const char* plain[] = {"ambrel", "--window", "800x600"};
  DisplayRequest none;
  EXPECT_FALSE(ParseHackArguments(3, plain, &none, nullptr, &error));
  EXPECT_TRUE(error.empty()) << "not a hack, and no error";

  const char* missing[] = {"ambrel", "--window-id"};
  EXPECT_FALSE(ParseHackArguments(2, missing, &none, nullptr, &error));
  EXPECT_NE(error.find("needs a value"), std::string::npos);
}

TEST(EngineOptions, WindowIdsAreHexOrDecimalAndNeverZeroOrJunk) {
  unsigned long id = 0;
  EXPECT_TRUE(ParseWindowId("0x2A00007", &id));
  EXPECT_EQ(id, 0x2a00007ul);
  EXPECT_TRUE(ParseWindowId("44040199", &id));
  EXPECT_EQ(id, 44040199ul);
  for (const char* bad : {"", "0", "0x", "0x0", "window", "12abc", "-5", "0x123456789", "99999999999999999999"})
    EXPECT_FALSE(ParseWindowId(bad, &id)) << bad;
}

// Every size the program takes (--size, --window, -geometry) is read by one rule:
// digits only, either letter case of the x.
TEST(EngineOptions, WindowSizesAreBoundedWxH) {
  int width = 0, height = 0;
  EXPECT_TRUE(ParseSize("640x480", &width, &height));
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  EXPECT_TRUE(ParseSize("16384X2", &width, &height));
  EXPECT_EQ(width, kMaxPictureSide);
  for (const char* bad : {"", "640", "0x480", "640x0", "640x480x", "-1x5", "99999x10", "axb", "+640x480", " 640x480",
                          "640x 480", "16385x2"})
    EXPECT_FALSE(ParseSize(bad, &width, &height)) << bad;

  std::optional<std::pair<int, int>> position;
  EXPECT_TRUE(ParseGeometry("320x200+10+20", &width, &height, &position));
  EXPECT_EQ(width, 320);
  EXPECT_EQ(position, std::make_pair(10, 20));
  EXPECT_TRUE(ParseGeometry("640x480", &width, &height, &position));
  EXPECT_FALSE(position);
  for (const char* bad : {"640x480junk", "640x480+1", "640x480+1+2+3", "640x480+-1+0", "640x480+ 1+2", "0x480+1+2"})
    EXPECT_FALSE(ParseGeometry(bad, &width, &height, &position)) << bad;
}

}  // namespace

}  // namespace ambrel
