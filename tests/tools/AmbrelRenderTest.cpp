// What the render shows: the background it is given, the folder's pictures, the
// shipped picture when there is nothing else, and the overlay of the full view.
#include <epoxy/gl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

#include "AmbrelProgram.h"
#include "platform/egl/OffscreenContext.h"
#include "tools/ambrel/FpsOverlay.h"

namespace ambrel {

namespace {

using AmbrelRenderTest = AmbrelProgramTest;

constexpr uint32_t kRed = 0xe02020;
constexpr uint32_t kGreen = 0x20d030;

TEST_F(AmbrelRenderTest, TheBackgroundPictureShowsUnderTheWater) {
  ASSERT_TRUE(WriteStripedPng(dir + "/red.png", 200, 120, kRed));
  Outcome run = Ambrel({"--render", "--size", "96x64", "--frames", "60", "--seed", "2", "--background", "red.png",
                        "--output", "out.png"});
  ASSERT_EQ(run.status, 0) << run.err;
  PngImage image = ReadPng(dir + "/out.png");
  ASSERT_TRUE(image.ok);
  EXPECT_GT(ShareDominatedBy(image, 0), 0.9);

  // The same run without it shows the shipped pool tiles: blue water.
  ASSERT_EQ(Ambrel({"--size", "96x64", "--frames", "60", "--seed", "2", "--output", "plain.png"}).status, 0);
  EXPECT_GT(ShareDominatedBy(ReadPng(dir + "/plain.png"), 2), 0.6);
  EXPECT_LT(ShareDominatedBy(ReadPng(dir + "/plain.png"), 0), 0.01);
}

TEST_F(AmbrelRenderTest, AFolderGivesOneOfItsPictures) {
  ASSERT_EQ(mkdir((dir + "/pictures").c_str(), 0755), 0);
  ASSERT_TRUE(WriteStripedPng(dir + "/pictures/red.png", 128, 128, kRed));
  ASSERT_TRUE(WriteStripedPng(dir + "/pictures/green.png", 64, 96, kGreen));
  ASSERT_TRUE(WriteFile(dir + "/pictures/notes.txt", "not a picture"));
  for (const char* seed : {"1", "2", "3"}) {
    SCOPED_TRACE(seed);
    Outcome run = Ambrel({"--size", "64x48", "--frames", "20", "--seed", seed, "--folder", "pictures", "--detail",
                          "2", "--output", "out.png"});
    ASSERT_EQ(run.status, 0) << run.err;
    PngImage image = ReadPng(dir + "/out.png");
    EXPECT_GT(std::max(ShareDominatedBy(image, 0), ShareDominatedBy(image, 1)), 0.9);
  }
}

TEST_F(AmbrelRenderTest, AnEmptyOrMissingFolderFallsBackToTheShippedPicture) {
  ASSERT_EQ(mkdir((dir + "/empty").c_str(), 0755), 0);
  std::vector<std::string> common = {"--size", "64x48", "--frames", "30", "--seed", "9"};
  auto render = [&](std::vector<std::string> extra, const std::string& output) {
    std::vector<std::string> args = common;
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back("--output");
    args.push_back(output);
    Outcome run = Ambrel(args);
    EXPECT_EQ(run.status, 0) << run.err;
    return ReadPng(dir + "/" + output).rgb;
  };
  // The folder's fallback comes at the lowest detail.
  const std::vector<uint8_t> shipped = render({"--detail", "0"}, "shipped.png");
  ASSERT_FALSE(shipped.empty());
  EXPECT_EQ(render({"--folder", "empty"}, "empty.png"), shipped);
  EXPECT_EQ(render({"--folder", "missing"}, "missing.png"), shipped);
  EXPECT_EQ(render({"--background-kind", "folder"}, "unnamed.png"), shipped);
}

TEST_F(AmbrelRenderTest, TheStripSlidesInAfterAMinuteButNotInThePreview) {
  std::vector<std::string> args = {"--size", "160x90", "--seconds", "63", "--seed", "9", "--detail", "0",
                                   "--water-res", "4", "--drip-speed", "1000000", "--output", "full.png"};
  Outcome run = Ambrel(args);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("frame 1890 of 3780"), std::string::npos) << "a long render reports progress: " << run.err;
  args.back() = "preview.png";
  args.push_back("--preview");
  ASSERT_EQ(Ambrel(args).status, 0);
  PngImage full = ReadPng(dir + "/full.png"), preview = ReadPng(dir + "/preview.png");
  ASSERT_TRUE(full.ok && preview.ok);
  auto differing = [&](unsigned firstRow, unsigned lastRow) {
    size_t count = 0;
    for (size_t i = firstRow * 160 * 3; i < lastRow * 160 * 3; i += 3)
      count += full.rgb[i] != preview.rgb[i] || full.rgb[i + 1] != preview.rgb[i + 1] ||
               full.rgb[i + 2] != preview.rgb[i + 2];
    return double(count) / ((lastRow - firstRow) * 160);
  };
  // The first showing comes down from the top edge, 32 pixels high; by now the
  // banner has faded and the water below is the same.
  EXPECT_GT(differing(2, 26), 0.2);
  EXPECT_LT(differing(40, 90), 0.05);
}

TEST_F(AmbrelRenderTest, TheCpuRendererDrawsWhatOpenGLDrawsAndAutoPicksItOverASoftwareRasteriser) {
  // Banner half up over the darkened water.
  std::vector<std::string> args = {"--size", "200x150", "--seconds", "41.5", "--seed", "5", "--renderer", "gl",
                                   "--output", "gl.png"};
  Outcome gl = Ambrel(args);
  ASSERT_EQ(gl.status, 0) << gl.err;
  args[7] = "cpu";
  args[9] = "cpu.png";
  Outcome cpu = Ambrel(args);
  ASSERT_EQ(cpu.status, 0) << cpu.err;
  EXPECT_NE(cpu.err.find("on the CPU renderer"), std::string::npos) << cpu.err;
  PngImage a = ReadPng(dir + "/gl.png"), b = ReadPng(dir + "/cpu.png");
  ASSERT_TRUE(a.ok && b.ok);
  ASSERT_EQ(a.rgb.size(), b.rgb.size());
  int largest = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i) largest = std::max(largest, std::abs(int(a.rgb[i]) - int(b.rgb[i])));
  EXPECT_LE(largest, 2);

  args[7] = "auto";
  args.back() = "auto.png";
  Outcome automatic = Ambrel(args);
  ASSERT_EQ(automatic.status, 0) << automatic.err;
  const bool software = gl.err.find("llvmpipe") != std::string::npos || gl.err.find("softpipe") != std::string::npos ||
                        gl.err.find("swrast") != std::string::npos;
  EXPECT_EQ(automatic.err.find("on the CPU renderer") != std::string::npos, software) << gl.err << automatic.err;
}

// -fps over a CPU frame looks as it does over an OpenGL one: the same corner
// (the pixel buffer's rows go top first), colours and darkened backing.
TEST(FpsOverlay, FiguresOverPixelsMatchFiguresDrawnWithOpenGL) {
  const int width = 200, height = 120;
  OffscreenContext context;
  ASSERT_TRUE(context.Create(width, height));
  glClearColor(0.2f, 0.5f, 0.9f, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  const std::vector<uint8_t> background = context.ReadPixelsTopDown();
  const std::string text = "FPS: 59.9\nLoad: 3.1%\nRenderer: CPU";
  DrawCornerText(text, width, height);
  const std::vector<uint8_t> drawn = context.ReadPixelsTopDown();
  ASSERT_EQ(drawn.size(), size_t(width) * height * 4);

  std::vector<uint8_t> pixels(drawn.size());
  for (size_t i = 0; i < pixels.size(); i += 4) {
    pixels[i] = background[i + 2];
    pixels[i + 1] = background[i + 1];
    pixels[i + 2] = background[i];
  }
  DrawCornerText(text, PixelBuffer{pixels.data(), width, height, size_t(width) * 4});
  int largest = 0;
  size_t changed = 0;
  for (size_t i = 0; i < pixels.size(); i += 4) {
    for (int c = 0; c < 3; ++c) largest = std::max(largest, std::abs(int(pixels[i + 2 - c]) - int(drawn[i + c])));
    changed += drawn[i] != background[i];
  }
  EXPECT_LE(largest, 1);
  EXPECT_GT(changed, 1000u) << "no figures drawn";
}

}  // namespace

}  // namespace ambrel
