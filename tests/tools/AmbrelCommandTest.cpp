// The render's command line: files it writes, and what it refuses.
#include <sys/stat.h>

#include "AmbrelProgram.h"

namespace {

using AmbrelCommandTest = AmbrelProgramTest;

TEST_F(AmbrelCommandTest, RendersAPngOfTheRequestedSize) {
  Outcome run = Ambrel({"--render", "--size", "96x64", "--frames", "5", "--seed", "3", "--output", "frame.png"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("frame.png"), std::string::npos) << run.out;
  EXPECT_EQ(Files(), std::set<std::string>{"frame.png"});
  PngImage image = ReadPng(dir + "/frame.png");
  ASSERT_TRUE(image.ok);
  EXPECT_EQ(image.width, 96u);
  EXPECT_EQ(image.height, 64u);
  std::set<uint32_t> colours;
  for (size_t i = 0; i + 2 < image.rgb.size(); i += 3)
    colours.insert(image.rgb[i] << 16 | image.rgb[i + 1] << 8 | image.rgb[i + 2]);
  EXPECT_GT(colours.size(), 20u) << "the frame looks blank";
}

TEST_F(AmbrelCommandTest, WithoutADisplayTheDefaultIsARender) {
  Outcome run = Ambrel({"--frames", "2", "--size", "32x32", "--seed", "5"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Files(), std::set<std::string>{"ambrel.png"});
}

TEST_F(AmbrelCommandTest, WritesEveryKthFrameToNumberedFiles) {
  Outcome run = Ambrel({"--size=32x32", "--frames=6", "--every=3", "--seed=1", "--preview", "--no-bowl",
                        "--no-lighting", "--water-res=4", "--water-speed=50", "--drip-speed=1", "--output=shot.png"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Files(), (std::set<std::string>{"shot-000003.png", "shot-000006.png"}));
}

TEST_F(AmbrelCommandTest, SameSeedGivesTheSameFrameAndAnotherSeedAnother) {
  std::vector<std::string> args = {"--size", "48x32", "--frames", "200", "--drip-speed", "10", "--seed", "42",
                                    "--output", "a.png"};
  ASSERT_EQ(Ambrel(args).status, 0);
  args.back() = "b.png";
  ASSERT_EQ(Ambrel(args).status, 0);
  args.back() = "c.png";
  args[args.size() - 3] = "43";
  ASSERT_EQ(Ambrel(args).status, 0);
  EXPECT_EQ(ReadPng(dir + "/a.png").rgb, ReadPng(dir + "/b.png").rgb);
  EXPECT_NE(ReadPng(dir + "/a.png").rgb, ReadPng(dir + "/c.png").rgb);
}

TEST_F(AmbrelCommandTest, HelpListsTheOptions) {
  Outcome run = Ambrel({"--help"});
  EXPECT_EQ(run.status, 0);
  for (const char* option :
       {"--size", "--frames", "--seconds", "--every", "--seed", "--water-speed", "--water-res", "--drip-speed",
        "--no-lighting", "--no-bowl", "--preview", "--output", "--window", "--render", "--configure", "-root",
        "-window-id", "--main-monitor-only", "--all-monitors", "--background-kind", "--folder", "--detail",
        "--background", "--print-settings"})
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
  EXPECT_TRUE(Files().empty());
}

TEST_F(AmbrelCommandTest, RefusesHostileSizes) {
  for (const char* size : {"0x10", "10x0", "-5x10", "10x-5", "20000x10", "16385x2", "abc", "10x", "x10", "10x10x10",
                           "99999999999999999999x1", ""})
    ExpectRefused({"--size", size, "--frames", "1"}, "--size");
  ExpectRefused({"--window=0x10"}, "--window");
}

TEST_F(AmbrelCommandTest, RefusesUnknownOptionsAndBadValues) {
  ExpectRefused({"--bogus"}, "unknown option");
  ExpectRefused({"--size"}, "needs a value");
  ExpectRefused({"--frames", "0"}, "--frames");
  ExpectRefused({"--frames", "2", "--seconds", "1"}, "either");
  ExpectRefused({"--seconds", "nan"}, "--seconds");
  ExpectRefused({"--seconds", "-1"}, "--seconds");
  ExpectRefused({"--every", "5", "--frames", "2"}, "--every");
  ExpectRefused({"--water-res", "9"}, "--water-res");
  ExpectRefused({"--water-speed", "0"}, "--water-speed");
  ExpectRefused({"--drip-speed", "0"}, "--drip-speed");
  ExpectRefused({"--seed", "-1"}, "--seed");
  ExpectRefused({"--preview=yes"}, "takes no value");
  ExpectRefused({"--detail", "3"}, "--detail");
  ExpectRefused({"--background-kind", "sky"}, "--background-kind");
  ExpectRefused({"--folder", ""}, "--folder");
  ExpectRefused({"--folder", std::string(1100, 'a')}, "too long");
  ExpectRefused({"--background", "a.png", "--folder", "/tmp"}, "either");
  ExpectRefused({"--render", "--background", "missing.png"}, "cannot read");
  ExpectRefused({"-window-id"}, "needs a value");
}

TEST_F(AmbrelCommandTest, RefusesModesThatDoNotGoTogether) {
  ExpectRefused({"--window", "--render"}, "one of");
  ExpectRefused({"--window", "--preview"}, "one of");
  ExpectRefused({"-root", "--render"}, "XScreenSaver");
  ExpectRefused({"--window-id", "0x200001", "--window"}, "XScreenSaver");
  ExpectRefused({"--window", "--frames", "3"}, "--frames is for --render only");
  ExpectRefused({"--root", "--output", "x.png"}, "--output is for --render only");
  ExpectRefused({"--configure", "--window"}, "--configure");
  ExpectRefused({"--configure", "--water-speed", "300"}, "--configure");
  ExpectRefused({"--wayland", "--render"}, "--wayland");
  ExpectRefused({"-root", "--wayland-wallpaper"}, "--wayland");
  ExpectRefused({"--wayland-wallpaper", "--window"}, "--wayland-wallpaper runs on its own");
}

TEST_F(AmbrelCommandTest, TheSettingsWindowNeedsADisplay) {
  Outcome run = Ambrel({"--configure"}, {"DISPLAY=:7999"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("the settings window needs a display"), std::string::npos) << run.err;
}

TEST_F(AmbrelCommandTest, WindowModesNeedADisplay) {
  for (const char* mode : {"--window", "--preview", "-root"}) {
    Outcome run = Ambrel({mode}, {"DISPLAY=:7999"});
    EXPECT_EQ(run.status, 1) << mode << ": " << run.err;
    EXPECT_NE(run.err.find("cannot open the X display"), std::string::npos) << run.err;
  }
}

TEST_F(AmbrelCommandTest, RefusesAnUnwritableOutputBeforeRendering) {
  ExpectRefused({"--frames", "1", "--size", "16x16", "--output", "missing/frame.png"}, "no such directory", 1);
  ASSERT_EQ(mkdir((dir + "/taken.png").c_str(), 0755), 0);
  Outcome run = Ambrel({"--frames", "1", "--size", "16x16", "--output", "taken.png"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("is a directory"), std::string::npos) << run.err;
  EXPECT_EQ(Files(), std::set<std::string>{"taken.png"});
}

TEST_F(AmbrelCommandTest, AFailedWriteLeavesNothingHalfWritten) {
  // An earlier good frame must survive a failed attempt to replace it.
  ASSERT_EQ(Ambrel({"--frames", "1", "--size", "16x16", "--seed", "1", "--output", "frame.png"}).status, 0);
  std::string before = ReadFile(dir + "/frame.png");
  Outcome run = Ambrel({"--frames", "2", "--size", "256x256", "--seed", "1", "--output", "frame.png"}, {}, 600);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot write"), std::string::npos) << run.err;
  EXPECT_EQ(Files(), std::set<std::string>{"frame.png"});
  EXPECT_EQ(ReadFile(dir + "/frame.png"), before);
}

TEST_F(AmbrelCommandTest, AMissingResourceFolderIsReportedNotRenderedBlack) {
  Outcome run = Ambrel({"--frames", "1", "--size", "16x16"}, {"AMBREL_RESOURCES=" + dir + "/nothing"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("morvish.tallowyn"), std::string::npos) << run.err;
  EXPECT_TRUE(Files().empty());
}

}  // namespace
