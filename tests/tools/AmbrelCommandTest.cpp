// The render's command line: files it writes, and what it refuses.
#include <sys/stat.h>

#include "AmbrelProgram.h"
#include "tools/ambrel/CommandLine.h"

namespace ambrel {

namespace {

// The command line "ambrel <arguments>", parsed in this process.
ParseOutcome ParseArguments(const std::vector<std::string>& arguments, bool hasDisplay, RunRequest* line,
                            std::string* error) {
  std::vector<std::string> args = {"ambrel"};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return ParseCommandLine(int(args.size()), argv.data(), hasDisplay, line, error);
}

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
        "--background", "--print-settings", "--renderer"})
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
  EXPECT_TRUE(Files().empty());
}

// Each refusal of the command line, read in-process: nothing runs, and the
// message names what is wrong.
TEST(AmbrelCommandLine, RefusesHostileSizesBadValuesAndModesThatDoNotGoTogether) {
  struct Case {
    std::vector<std::string> args;
    const char* mention;
  };
  std::vector<Case> cases;
  for (const char* size : {"0x10", "10x0", "-5x10", "10x-5", "20000x10", "16385x2", "abc", "10x", "x10", "10x10x10",
                           "99999999999999999999x1", ""})
    cases.push_back({{"--size", size, "--frames", "1"}, "--size"});
  const std::vector<Case> others = {
      {{"--window=0x10"}, "--window"},
      {{"--bogus"}, "unknown option"},
      {{"--size"}, "needs a value"},
      {{"--frames", "0"}, "--frames"},
      {{"--frames", "2", "--seconds", "1"}, "either"},
      {{"--seconds", "nan"}, "--seconds"},
      {{"--seconds", "-1"}, "--seconds"},
      {{"--every", "5", "--frames", "2"}, "--every"},
      {{"--water-res", "9"}, "--water-res"},
      {{"--water-speed", "0"}, "--water-speed"},
      {{"--drip-speed", "0"}, "--drip-speed"},
      {{"--seed", "-1"}, "--seed"},
      {{"--preview=yes"}, "takes no value"},
      {{"--detail", "3"}, "--detail"},
      {{"--background-kind", "sky"}, "--background-kind"},
      {{"--folder", ""}, "--folder"},
      {{"--folder", std::string(1100, 'a')}, "too long"},
      {{"--background", "a.png", "--folder", "/tmp"}, "either"},
      {{"-window-id"}, "needs a value"},
      {{"--window", "--render"}, "one of"},
      {{"--window", "--preview"}, "one of"},
      {{"-root", "--render"}, "XScreenSaver"},
      {{"--window-id", "0x200001", "--window"}, "XScreenSaver"},
      {{"--window", "--frames", "3"}, "--frames is for --render only"},
      {{"--root", "--output", "x.png"}, "--output is for --render only"},
      {{"--configure", "--window"}, "--configure"},
      {{"--configure", "--water-speed", "300"}, "--configure"},
      {{"--wayland", "--render"}, "--wayland"},
      {{"-root", "--wayland-wallpaper"}, "--wayland"},
      {{"--wayland-wallpaper", "--window"}, "--wayland-wallpaper runs on its own"},
      {{"--window", "--renderer", "fast"}, "--renderer wants auto, gl or cpu"},
      {{"--configure", "--renderer", "cpu"}, "--configure"},
  };
  cases.insert(cases.end(), others.begin(), others.end());
  for (const Case& c : cases) {
    RunRequest line;
    std::string error;
    EXPECT_EQ(ParseArguments(c.args, false, &line, &error), ParseOutcome::kError)
        << testing::PrintToString(c.args);
    EXPECT_NE(error.find(c.mention), std::string::npos) << testing::PrintToString(c.args) << ": " << error;
  }
}

// --renderer goes with every mode that draws the water, one dash or two.
TEST(AmbrelCommandLine, EveryModeTakesTheRenderer) {
  struct Case {
    std::vector<std::string> args;
    bool hasDisplay;
    RunMode mode;
    RendererChoice renderer;
  };
  const std::vector<Case> cases = {
      {{"--window", "--renderer", "cpu"}, true, RunMode::kWindow, RendererChoice::CPU},
      {{"--preview", "--renderer=gl"}, true, RunMode::kPreview, RendererChoice::GL},
      {{"-root", "-renderer", "cpu"}, true, RunMode::kHack, RendererChoice::CPU},
      {{"--wayland-wallpaper", "--renderer", "gl"}, false, RunMode::kWallpaper, RendererChoice::GL},
      {{"--renderer", "cpu"}, true, RunMode::kFullScreen, RendererChoice::CPU},
      {{"--renderer", "gl"}, false, RunMode::kRender, RendererChoice::GL},
      {{"--window"}, true, RunMode::kWindow, RendererChoice::Auto},
  };
  for (const Case& c : cases) {
    RunRequest line;
    std::string error;
    SCOPED_TRACE(testing::PrintToString(c.args));
    ASSERT_EQ(ParseArguments(c.args, c.hasDisplay, &line, &error), ParseOutcome::kRun)
        << error;
    EXPECT_EQ(line.mode, c.mode);
    EXPECT_EQ(line.renderer, c.renderer);
  }
}

// The program's own refusals: status 2, one line, nothing written.
TEST_F(AmbrelCommandTest, RefusesABadCommandLineWithStatusTwoAndWritesNothing) {
  ExpectRefused({"--size", "0x10", "--frames", "1"}, "--size");
  ExpectRefused({"--bogus"}, "unknown option");
  ExpectRefused({"--window", "--render"}, "one of");
  ExpectRefused({"--render", "--background", "missing.png"}, "cannot read");
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

}  // namespace ambrel
