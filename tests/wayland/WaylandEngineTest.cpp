// The Wayland engine through the real ambrel program on real compositors: sway
// 1.7 headless with layer-shell and screencopy, weston headless without them.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <fstream>
#include <regex>
#include <set>
#include <thread>

#include "CompositorSession.h"
#include "HostilePictures.h"
#include "TestFolders.h"
#include "platform/Clock.h"

namespace ambrel {

namespace {

// One flat colour per output, so each output's capture is told apart.
const char* const kSwayConfig =
    "output HEADLESS-1 mode 640x360 position 0 0 bg #c03020 solid_color\n"
    "output HEADLESS-2 mode 640x360 position 640 0 bg #20a040 solid_color\n"
    "output HEADLESS-3 mode 640x360 position 1280 0 bg #3050d0 solid_color\n";

void Sleep(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

int Lines(const std::string& text) {
  int count = 0;
  for (char c : text) count += c == '\n';
  return count;
}

// Waits until the output shows water that moves: two shots apart in time that
// differ, neither black.
bool ShowsMovingWater(CompositorSession& session, const std::string& output, Screenshot* last, double seconds = 20) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  Screenshot before = session.Shoot(output);
  while (std::chrono::steady_clock::now() < deadline) {
    Sleep(0.4);
    Screenshot after = session.Shoot(output);
    if (before.ok && after.ok && after.MeanLevel() > 20 && before.MeanLevel() > 20 &&
        after.ShareChangedFrom(before) > 0.01) {
      *last = after;
      return true;
    }
    before = after;
  }
  *last = before;
  return false;
}

class WaylandSway : public ::testing::Test {
 protected:
  // With a keyboard and a pointer in the seat before any client starts, as at a desk.
  void StartSway(int outputs, const char* config = kSwayConfig) {
    std::string error;
    ASSERT_TRUE(session_.Start(CompositorSession::Kind::Sway, config, outputs, &error)) << error;
    ASSERT_TRUE(session_.AddInputDevices(&error)) << error;
  }
  CompositorSession session_;
};

// The default in a Wayland session: the saver on every output, over each output's
// own picture, ended by a key from a virtual keyboard.
TEST_F(WaylandSway, SaverCoversEveryOutputWithMovingWaterOverItsOwnPictureAndEndsOnAKey) {
  StartSway(2);
  auto ambrel = session_.Run(session_.ambrel(), {});
  ASSERT_TRUE(ambrel);
  Screenshot first, second;
  ASSERT_TRUE(ShowsMovingWater(session_, "HEADLESS-1", &first)) << ambrel->errors();
  ASSERT_TRUE(ShowsMovingWater(session_, "HEADLESS-2", &second)) << ambrel->errors();
  // The capture: red under the first output's water, green under the second's.
  EXPECT_GT(first.ShareDominatedBy(0), 0.5);
  EXPECT_GT(second.ShareDominatedBy(1), 0.5);
  EXPECT_TRUE(ambrel->Running());
  // Drawing, the saver has long had the seat's keyboard and its focus.
  ASSERT_EQ(session_.RunToEnd("/usr/bin/wtype", {"x"}), 0);
  EXPECT_EQ(ambrel->Wait(5), 0) << ambrel->errors();
  EXPECT_EQ(ambrel->errors(), "");
}

// The seat's events are taken while a picture decodes: the key still ends the
// saver, with the decoder held stopped so that the decoding cannot end first, and
// before the wait for the picture is given up, which would say so.
TEST_F(WaylandSway, AKeyEndsTheSaverWhileAPictureDecodes) {
  StartSway(1);
  TempFolder folder("slow");
  const std::string slow = folder.path() + "/slow.jpg";
  ASSERT_TRUE(WriteSlowProgressiveJpeg(slow));
  ASSERT_EQ(chmod(folder.path().c_str(), 0755), 0);  // for the session's user
  // The protocol log shows when the saver's keyboard has the focus.
  auto ambrel = session_.Run(session_.ambrel(), {"--wayland", "--folder", folder.path()}, {"WAYLAND_DEBUG=client"});
  ASSERT_TRUE(ambrel);
  const std::regex focused(R"(wl_keyboard@\d+\.enter\()");
  std::set<pid_t> decoders;
  bool focus = false;
  for (const double deadline = MonotonicSeconds() + 20;
       (decoders.empty() || !focus) && ambrel->Running() && MonotonicSeconds() < deadline;) {
    Sleep(0.01);
    if (decoders.empty()) decoders = PictureDecodersOf(ambrel->pid(), slow);
    ambrel->Collect();
    focus = std::regex_search(ambrel->errors(), focused);
  }
  ASSERT_FALSE(decoders.empty()) << ambrel->errors().substr(0, 3000);
  ASSERT_TRUE(focus) << ambrel->errors().substr(0, 3000);
  for (pid_t decoder : decoders) kill(decoder, SIGSTOP);
  ASSERT_EQ(session_.RunToEnd("/usr/bin/wtype", {"x"}), 0);
  EXPECT_EQ(ambrel->Wait(20), 0) << ambrel->errors().substr(0, 3000);
  EXPECT_EQ(ambrel->errors().find("takes more than"), std::string::npos);
  for (pid_t decoder : decoders) kill(decoder, SIGKILL);
}

// Where the pointer first meets the saver's surface is the reference, as the X11
// engine's first pointer position is. A nudge of a few pixels is a bumped desk.
TEST_F(WaylandSway, SaverIgnoresANudgeButEndsOnAMoveOrAClick) {
  StartSway(1);
  for (const std::vector<std::string>& ending :
       {std::vector<std::string>{"move", "30", "0"}, std::vector<std::string>{"press"}}) {
    auto ambrel = session_.Run(session_.ambrel(), {"--wayland"});
    ASSERT_TRUE(ambrel);
    Screenshot shot;
    ASSERT_TRUE(ShowsMovingWater(session_, "HEADLESS-1", &shot)) << ambrel->errors();
    ASSERT_EQ(session_.RunToEnd(session_.pointer(), {"move", "3", "3", "move", "4", "-4"}), 0);
    // Water that still moves was drawn after the nudge reached the saver.
    EXPECT_TRUE(ShowsMovingWater(session_, "HEADLESS-1", &shot)) << ambrel->errors();
    EXPECT_TRUE(ambrel->Running()) << "a nudge ended it";
    std::vector<std::string> arguments = {"move", "1", "1"};
    arguments.insert(arguments.end(), ending.begin(), ending.end());
    ASSERT_EQ(session_.RunToEnd(session_.pointer(), arguments), 0);
    EXPECT_EQ(ambrel->Wait(5), 0) << ending.front() << ": " << ambrel->errors();
    EXPECT_EQ(ambrel->errors(), "");
  }
}

// An output added while it runs gets its own view over its own picture; one
// taken away while its view draws takes the view along and nothing else.
TEST_F(WaylandSway, OutputsThatComeAndGoGetAndLoseTheirViews) {
  StartSway(2);
  auto ambrel = session_.Run(session_.ambrel(), {"--wayland"});
  ASSERT_TRUE(ambrel);
  Screenshot shot;
  ASSERT_TRUE(ShowsMovingWater(session_, "HEADLESS-2", &shot)) << ambrel->errors();
  std::string said;
  ASSERT_EQ(session_.RunToEnd("/usr/bin/swaymsg", {"create_output"}, &said), 0) << said;
  ASSERT_TRUE(ShowsMovingWater(session_, "HEADLESS-3", &shot)) << ambrel->errors();
  EXPECT_GT(shot.ShareDominatedBy(2), 0.5);
  ASSERT_EQ(session_.RunToEnd("/usr/bin/swaymsg", {"output", "HEADLESS-2", "disable"}, &said), 0) << said;
  EXPECT_TRUE(ShowsMovingWater(session_, "HEADLESS-1", &shot));
  EXPECT_TRUE(ShowsMovingWater(session_, "HEADLESS-3", &shot));
  EXPECT_TRUE(ambrel->Running()) << ambrel->errors();
  ambrel->Signal(SIGTERM);
  EXPECT_EQ(ambrel->Wait(5), 0) << ambrel->errors();
  EXPECT_EQ(ambrel->errors(), "");
}

// A dock bringing up monitors while the saver makes its views: making one
// captures the screen, which dispatches, and two outputs plugged inside that
// dispatch join the engine's list of outputs. Each gets its view.
TEST_F(WaylandSway, OutputsPluggedWhileViewsAreMadeEachGetAView) {
  StartSway(2, "output * mode 320x180\n");
  auto ambrel = session_.Run(session_.ambrel(), {"--wayland"},
                             {session_.Preload(DISPATCH_HOOK),
                              "DISPATCH_HOOK_COMMAND=swaymsg create_output >/dev/null && swaymsg create_output >/dev/null",
                              "DISPATCH_HOOK_OUTPUTS=4"});
  ASSERT_TRUE(ambrel);
  Screenshot shot;
  for (const char* output : {"HEADLESS-1", "HEADLESS-2", "HEADLESS-3", "HEADLESS-4"})
    ASSERT_TRUE(ShowsMovingWater(session_, output, &shot))
        << output << ": exit " << ambrel->Wait(1) << ": " << ambrel->errors().substr(0, 3000);
  ASSERT_TRUE(ambrel->Running()) << ambrel->errors();
  ambrel->Signal(SIGTERM);
  EXPECT_EQ(ambrel->Wait(5), 0) << ambrel->errors();
  EXPECT_EQ(ambrel->errors(), "");
}

// The live wallpaper: below everything, over sway's own "output * bg" picture even
// with the capture chosen (the stored default), deaf to keys, ended by SIGTERM.
TEST_F(WaylandSway, WallpaperAnimatesOverSwaysPictureIgnoresKeysAndEndsOnSigterm) {
  // swaybg is off, as it would share the background layer; its bg line stays for Ambrel.
  StartSway(1, "swaybg_command -\noutput HEADLESS-1 mode 640x360\noutput * bg \"@WORK@/green wall.png\" fill\n");
  png_image green{};
  green.version = PNG_IMAGE_VERSION;
  green.width = 64;
  green.height = 64;
  green.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> pixels;
  for (int i = 0; i < 64 * 64; ++i) pixels.insert(pixels.end(), {40, 170, 60});
  ASSERT_TRUE(png_image_write_to_file(&green, (session_.workDir() + "/green wall.png").c_str(), 0, pixels.data(), 0,
                                      nullptr));
  auto ambrel = session_.Run(session_.ambrel(), {"--wayland-wallpaper"});
  ASSERT_TRUE(ambrel);
  Screenshot shot;
  ASSERT_TRUE(ShowsMovingWater(session_, "HEADLESS-1", &shot)) << ambrel->errors();
  EXPECT_GT(shot.ShareDominatedBy(1), 0.5);
  ASSERT_EQ(session_.RunToEnd("/usr/bin/wtype", {"x"}), 0);
  EXPECT_TRUE(ShowsMovingWater(session_, "HEADLESS-1", &shot)) << ambrel->errors();
  EXPECT_TRUE(ambrel->Running()) << "a key ended the wallpaper";
  ambrel->Signal(SIGTERM);
  EXPECT_EQ(ambrel->Wait(5), 0) << ambrel->errors();
  EXPECT_EQ(ambrel->errors(), "");
}

// The frames ambrel has drawn so far, as its AMBREL_FPS_LOG says during the run; -1 before any.
long FramesDrawn(const std::string& log) {
  std::ifstream in(log);
  std::string word;
  long frames = -1;
  in >> word >> frames;
  return word == "frames" ? frames : -1;
}

// Waits (with a deadline only a hang reaches) until the count moves past since.
bool DrawsAgain(const std::string& log, long since) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (FramesDrawn(log) > since) return true;
    Sleep(0.05);
  }
  return false;
}

// The wallpaper under a full-screen window is asked for no frames, so it draws
// none and wakes for nothing; it draws again as soon as the window leaves. The
// window is a second ambrel, whose frames count the output's repaints: the clock
// that would drive the wallpaper were it seen.
TEST_F(WaylandSway, WallpaperUnderAFullScreenWindowDrawsNothingUntilUncovered) {
  StartSway(1, "swaybg_command -\noutput HEADLESS-1 mode 640x360\n");
  // The OpenGL view, then frames drawn on the processor (the pixel driver's,
  // which keeps the same log): both wait for the compositor to ask.
  for (const bool pixels : {false, true}) {
    SCOPED_TRACE(pixels ? "pixel surface" : "OpenGL");
    const std::string log = session_.workDir() + (pixels ? "/pixels.log" : "/frames.log");
    const std::string clock = session_.workDir() + (pixels ? "/window-pixels.log" : "/window.log");
    auto ambrel = pixels ? session_.Run(session_.Carry(WAYLAND_PIXEL_DRIVER), {"wallpaper"}, {"AMBREL_FPS_LOG=" + log})
                         : session_.Run(session_.ambrel(), {"--wayland-wallpaper"}, {"AMBREL_FPS_LOG=" + log});
    ASSERT_TRUE(ambrel);
    Screenshot shot;
    if (pixels) {
      ASSERT_TRUE(DrawsAgain(log, 0)) << ambrel->errors();
    } else {
      ASSERT_TRUE(ShowsMovingWater(session_, "HEADLESS-1", &shot)) << ambrel->errors();
    }

    auto window = session_.Run(session_.ambrel(), {"--wayland", "--window", "320x200"}, {"AMBREL_FPS_LOG=" + clock});
    ASSERT_TRUE(window);
    const std::string cover = "[app_id=\"ambrel\"]";
    bool full = false;
    for (int attempt = 0; attempt < 100 && !full; ++attempt) {
      full = session_.RunToEnd("/usr/bin/swaymsg", {cover, "fullscreen", "enable"}) == 0;
      if (!full) Sleep(0.1);
    }
    ASSERT_TRUE(full) << window->errors();
    // Waits until the window has drawn count more frames (the deadline is for a hang only).
    auto repaints = [&](long count) {
      const long from = FramesDrawn(clock);
      for (int attempt = 0; attempt < 600; ++attempt) {
        if (FramesDrawn(clock) >= from + count) return true;
        Sleep(0.05);
      }
      return false;
    };
    // What was on its way when the window covered the output is in once ten
    // repaints pass without a frame of the wallpaper's; then sixty more pass.
    long covered = FramesDrawn(log);
    for (int round = 0; round < 30; ++round) {
      ASSERT_TRUE(repaints(10)) << window->errors();
      const long now = FramesDrawn(log);
      if (now == covered) break;
      covered = now;
    }
    ASSERT_TRUE(repaints(60)) << window->errors();
    EXPECT_EQ(FramesDrawn(log), covered) << "the covered wallpaper went on drawing";
    bool idle = false;
    for (int attempt = 0; attempt < 400 && !(idle = SleepsUntilAnEvent(ambrel->pid())); ++attempt) Sleep(0.05);
    EXPECT_TRUE(idle) << "the covered wallpaper keeps a timer";

    std::string said;
    ASSERT_EQ(session_.RunToEnd("/usr/bin/swaymsg", {cover, "fullscreen", "disable"}, &said), 0) << said;
    EXPECT_TRUE(DrawsAgain(log, covered)) << ambrel->errors();
    window->Signal(SIGTERM);
    EXPECT_EQ(window->Wait(5), 0) << window->errors();
    if (!pixels) {
      EXPECT_TRUE(ShowsMovingWater(session_, "HEADLESS-1", &shot)) << ambrel->errors();
    }
    ambrel->Signal(SIGTERM);
    EXPECT_EQ(ambrel->Wait(5), 0) << ambrel->errors();
    EXPECT_EQ(ambrel->errors(), "");
  }
}

// Faults: the compositor killed while the saver draws, and a display that is not there.
TEST_F(WaylandSway, ALostCompositorOrAMissingDisplayEndsTheRunWithOneLine) {
  StartSway(1);
  auto ambrel = session_.Run(session_.ambrel(), {"--wayland"});
  ASSERT_TRUE(ambrel);
  Screenshot shot;
  ASSERT_TRUE(ShowsMovingWater(session_, "HEADLESS-1", &shot)) << ambrel->errors();
  session_.Kill();
  EXPECT_EQ(ambrel->Wait(5), 1);
  EXPECT_EQ(Lines(ambrel->errors()), 1) << ambrel->errors();
  EXPECT_NE(ambrel->errors().find("Wayland compositor"), std::string::npos) << ambrel->errors();

  auto missing = session_.Run(session_.ambrel(), {"--wayland"}, {"WAYLAND_DISPLAY=no-such-socket"});
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->Wait(10), 1);
  EXPECT_EQ(Lines(missing->errors()), 1) << missing->errors();
  EXPECT_NE(missing->errors().find("\"no-such-socket\""), std::string::npos) << missing->errors();
}

// The pixel at x, y of a screenshot as "rrggbb".
std::string PixelAt(const Screenshot& shot, int x, int y) {
  const uint8_t* pixel = &shot.rgb[(size_t(y) * size_t(shot.width) + size_t(x)) * 3];
  char text[8];
  std::snprintf(text, sizeof text, "%02x%02x%02x", pixel[0], pixel[1], pixel[2]);
  return text;
}

// The pixel driver's picture filling a width x height output: red, green, blue
// and white quarters from the top left, exact at the corners and across the middle.
bool ShowsQuarters(const Screenshot& shot, int width, int height) {
  const int x = width / 2, y = height / 2;
  return shot.ok && shot.width == width && shot.height == height && PixelAt(shot, 0, 0) == "ff0000" &&
         PixelAt(shot, x - 1, y - 1) == "ff0000" && PixelAt(shot, x, y - 1) == "00ff00" &&
         PixelAt(shot, width - 1, 0) == "00ff00" && PixelAt(shot, x - 1, y) == "0000ff" &&
         PixelAt(shot, 0, height - 1) == "0000ff" && PixelAt(shot, x, y) == "ffffff" &&
         PixelAt(shot, width - 1, height - 1) == "ffffff";
}

// Shoots the output until check accepts the shot (the deadline is for a hang only).
bool Shows(CompositorSession& session, const std::string& output, const std::function<bool(const Screenshot&)>& check,
           Screenshot* shot) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *shot = session.Shoot(output);
    if (check(*shot)) return true;
    Sleep(0.1);
  }
  return false;
}

std::string Described(const Screenshot& shot) {
  if (!shot.ok) return "no screenshot";
  return std::to_string(shot.width) + "x" + std::to_string(shot.height) + " top left " + PixelAt(shot, 0, 0) +
         ", middle " + PixelAt(shot, shot.width / 2, shot.height / 2);
}

// A view that draws on the processor: its frames reach the saver's output
// whole, in order and colour, at the output's size and again at a new size and
// scale (a buffer of twice the surface's size, shown at its own pixels), with
// no EGL ever loaded.
TEST_F(WaylandSway, PixelFramesFillTheSaversOutputAndFollowItsNewSizeWithoutEgl) {
  StartSway(1);
  auto driver = session_.Run(session_.Carry(WAYLAND_PIXEL_DRIVER), {"saver"});
  ASSERT_TRUE(driver);
  std::string line;
  ASSERT_TRUE(driver->WaitForLine("drawn 640x360", 20, &line)) << driver->output() << driver->errors();
  EXPECT_EQ(line, "drawn 640x360 egl=0");
  Screenshot shot;
  EXPECT_TRUE(Shows(session_, "HEADLESS-1", [](const Screenshot& s) { return ShowsQuarters(s, 640, 360); }, &shot))
      << Described(shot);

  std::string said;
  ASSERT_EQ(session_.RunToEnd("/usr/bin/swaymsg", {"output", "HEADLESS-1", "mode", "800x600", "scale", "2"}, &said), 0)
      << said;
  ASSERT_TRUE(driver->WaitForLine("drawn 800x600", 20, &line)) << driver->output() << driver->errors();
  EXPECT_EQ(line, "drawn 800x600 egl=0");
  EXPECT_TRUE(Shows(session_, "HEADLESS-1", [](const Screenshot& s) { return ShowsQuarters(s, 800, 600); }, &shot))
      << Described(shot);
  driver->Signal(SIGTERM);
  EXPECT_EQ(driver->Wait(5), 0) << driver->errors();
  EXPECT_EQ(driver->errors(), "");
}

// The same frames in a window and on the wallpaper.
TEST_F(WaylandSway, PixelFramesShowInAWindowAndOnTheWallpaper) {
  StartSway(1, "swaybg_command -\noutput HEADLESS-1 mode 640x360\n");
  auto window = session_.Run(session_.Carry(WAYLAND_PIXEL_DRIVER), {"window"});
  ASSERT_TRUE(window);
  ASSERT_TRUE(window->WaitForLine("drawn ", 20)) << window->output() << window->errors();
  // Tiled, the window fills the output but for its title and borders.
  Screenshot shot;
  EXPECT_TRUE(Shows(session_, "HEADLESS-1",
                    [](const Screenshot& s) {
                      int quarters[4] = {};
                      for (int y = 0; s.ok && y < s.height; ++y)
                        for (int x = 0; x < s.width; ++x) {
                          const std::string pixel = PixelAt(s, x, y);
                          quarters[0] += pixel == "ff0000", quarters[1] += pixel == "00ff00";
                          quarters[2] += pixel == "0000ff", quarters[3] += pixel == "ffffff";
                        }
                      return s.ok && *std::min_element(quarters, quarters + 4) > s.width * s.height / 5;
                    },
                    &shot))
      << Described(shot);
  window->Signal(SIGTERM);
  EXPECT_EQ(window->Wait(5), 0) << window->errors();
  EXPECT_EQ(window->errors(), "");

  auto wallpaper = session_.Run(session_.Carry(WAYLAND_PIXEL_DRIVER), {"wallpaper"});
  ASSERT_TRUE(wallpaper);
  ASSERT_TRUE(wallpaper->WaitForLine("drawn 640x360", 20)) << wallpaper->output() << wallpaper->errors();
  EXPECT_TRUE(Shows(session_, "HEADLESS-1", [](const Screenshot& s) { return ShowsQuarters(s, 640, 360); }, &shot))
      << Described(shot);
  wallpaper->Signal(SIGTERM);
  EXPECT_EQ(wallpaper->Wait(5), 0) << wallpaper->errors();
  EXPECT_EQ(wallpaper->errors(), "");
}

// Sizes at the limits: a 16384-pixel square whose pool the system refuses (the
// process may make no file that large) skips its frames with one line and no
// crash, and a 1x1 frame after it shows as one pixel over sway's background.
TEST_F(WaylandSway, APoolTheSystemRefusesSkipsFramesWithOneLineAndAOnePixelFrameShows) {
  StartSway(1);
  auto driver =
      session_.Run(session_.Carry(WAYLAND_PIXEL_DRIVER), {"saver", "--buffers", "16384x16384,1x1", "--file-size", "64"});
  ASSERT_TRUE(driver);
  ASSERT_TRUE(driver->WaitForLine("skipped", 20)) << driver->output() << driver->errors();
  ASSERT_TRUE(driver->WaitForLine("drawn 1x1", 20)) << driver->output() << driver->errors();
  Screenshot shot;
  EXPECT_TRUE(Shows(session_, "HEADLESS-1",
                    [](const Screenshot& s) {
                      return s.ok && PixelAt(s, 0, 0) == "ff0000" && PixelAt(s, 1, 0) == "c03020" &&
                             PixelAt(s, 320, 180) == "c03020";
                    },
                    &shot))
      << Described(shot);
  EXPECT_TRUE(driver->Running());
  driver->Signal(SIGTERM);
  EXPECT_EQ(driver->Wait(5), 0);
  EXPECT_EQ(Lines(driver->errors()), 1) << driver->errors();
  EXPECT_NE(driver->errors().find("16384x16384"), std::string::npos) << driver->errors();
}

// Weston offers neither layer-shell nor screencopy: the saver is a full-screen
// xdg-shell window on the output, and the wallpaper says what is missing.
TEST(WaylandWeston, SaverCoversTheOutputThroughXdgShellAndTheWallpaperNamesWhatIsMissing) {
  CompositorSession session;
  std::string error;
  ASSERT_TRUE(session.Start(CompositorSession::Kind::Weston, "", 1, &error)) << error;
  std::string said;
  EXPECT_EQ(session.RunToEnd(session.ambrel(), {"--wayland-wallpaper"}, &said), 1);
  EXPECT_EQ(Lines(said), 1) << said;
  EXPECT_NE(said.find("zwlr_layer_shell_v1"), std::string::npos) << said;

  // The desktop shell's panel and background differ from one another; a
  // full-screen surface hides both behind one picture.
  const Screenshot desktop = session.Shoot("");
  ASSERT_TRUE(desktop.ok);
  auto ambrel = session.Run(session.ambrel(), {"--wayland"});
  ASSERT_TRUE(ambrel);
  Screenshot covered;
  for (int attempt = 0; attempt < 40; ++attempt) {
    Sleep(0.25);
    covered = session.Shoot("");
    if (covered.ok && covered.ShareChangedFrom(desktop) > 0.99) break;
  }
  EXPECT_GT(covered.ShareChangedFrom(desktop), 0.99) << ambrel->errors() << session.lastShot();
  EXPECT_TRUE(ambrel->Running()) << ambrel->errors();
  ambrel->Signal(SIGTERM);
  EXPECT_EQ(ambrel->Wait(5), 0) << ambrel->errors();
  EXPECT_EQ(ambrel->errors(), "");

  // A window on a compositor without a seat: it shows, and says nothing.
  auto window = session.Run(session.ambrel(), {"--wayland", "--window", "320x200"});
  ASSERT_TRUE(window);
  Screenshot shown;
  for (int attempt = 0; attempt < 40; ++attempt) {
    Sleep(0.25);
    shown = session.Shoot("");
    if (shown.ok && shown.ShareChangedFrom(desktop) > 0.1) break;
  }
  EXPECT_GT(shown.ShareChangedFrom(desktop), 0.1) << window->errors() << session.lastShot();
  window->Signal(SIGTERM);
  EXPECT_EQ(window->Wait(5), 0) << window->errors();
  EXPECT_EQ(window->errors(), "");
}

}  // namespace

}  // namespace ambrel
