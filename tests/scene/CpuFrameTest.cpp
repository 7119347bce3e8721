// The CPU renderer against OpenGL (Mesa through EGL): the same described frames,
// drawn both ways, stay within a small per-pixel difference.
#include <epoxy/gl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "SceneTestSupport.h"
#include "image/Pics.h"
#include "platform/Bundle.h"
#include "render/CpuFrame.h"
#include "render/GLTextures.h"
#include "scene/GLFrame.h"

namespace ambrel {

namespace {

// Where the frames of each case go, both renderings and their difference ten
// times brighter, as PPM files.
const char kImageFolder[] = "/tmp/ambrel-cpu-frame";

void WritePpm(const std::string& path, int width, int height, const std::vector<uint8_t>& rgbaBottomUp) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return;
  std::fprintf(file, "P6\n%d %d\n255\n", width, height);
  for (int y = height - 1; y >= 0; --y)
    for (int x = 0; x < width; ++x) std::fwrite(&rgbaBottomUp[((size_t)y * width + x) * 4], 1, 3, file);
  std::fclose(file);
}

struct Case {
  const char* name;
  unsigned seed;
  int width, height;
  int64_t gridShift;
  bool bowl;
  bool banner;
};

class CpuFrameTest : public SceneTest {};

TEST_F(CpuFrameTest, DrawsTheFramesOpenGLDraws) {
  const Case cases[] = {
      {"s1-320x240-grid64", 1, 320, 240, 6, true, false},
      {"s7-640x360-grid256-nobowl", 7, 640, 360, 8, false, false},
      {"s42-333x197-grid16-banner", 42, 333, 197, 4, true, true},
      {"s3-800x600-grid64-nobowl-banner", 3, 800, 600, 6, false, true},
  };
  mkdir(kImageFolder, 0755);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    ASSERT_TRUE(context.Resize(c.width, c.height, &error)) << error;
    HostInit(c.width, c.height);
    scene.Cleanup();
    srand(c.seed);
    SETTINGS settings = DefaultSceneSettings();
    settings.WATERSHIFT = c.gridShift;
    settings.WANTBOWL = c.bowl;
    HostReshape(c.width, c.height);
    ASSERT_TRUE(scene.Setup(false, c.width, c.height, &settings));
    ASSERT_TRUE(LoadTexturesFromDataFile(PathForResource("morvish", "tallowyn").c_str(), &scene.textures,
                                         &scene.textureCount));
    Texture picture;
    ASSERT_TRUE(loadPicFile(PathForResource("fallback", "png").c_str(), &picture, 0));
    scene.backgroundTexture = picture.texID;
    picture.texID = 0;
    scene.dropTimer = 0;
    for (int frame = 0; frame < 90; ++frame) Frame(1.0 / 60);
    if (c.banner) {
      // Half faded in, over the strip fully out.
      scene.bannerTimer = 10;
      scene.bannerAlpha = 0.5f;
      scene.overlayShown = true;
      scene.overlayTimer = 10;
      scene.overlayPos = {(float)(c.width - 256), 5};
    }

    scene.Update(1.0 / 60);
    HostReshape(c.width, c.height);
    SceneFrame frame;
    scene.Describe(&frame);
    DrawSceneFrameGL(frame);
    glFinish();
    std::vector<uint8_t> gl((size_t)c.width * c.height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, c.width, c.height, GL_RGBA, GL_UNSIGNED_BYTE, gl.data());

    CpuTextures textures;
    ReadGLTextures(frame, &textures);
    std::vector<uint8_t> cpu, scalar;
    DrawSceneFrameCpu(frame, textures, &cpu);
    ASSERT_EQ(cpu.size(), gl.size());
    // Each vector route (where the processor has it) and the scalar one agree to the byte.
    const int widest = LimitCpuFrameVectors(0);
    DrawSceneFrameCpu(frame, textures, &scalar);
    LimitCpuFrameVectors(256);
    std::vector<uint8_t> narrower;
    DrawSceneFrameCpu(frame, textures, &narrower);
    LimitCpuFrameVectors(widest);
    EXPECT_TRUE(cpu == scalar);
    EXPECT_TRUE(narrower == scalar);
    // Each width's two fills, as much as what times them against each other.
    for (const int bits : {256, 512})
      for (const bool gathers : {false, true}) {
        LimitCpuFrameVectors(bits);
        const std::optional<bool> was = PinCpuFrameGathers(gathers);
        std::vector<uint8_t> pinned;
        DrawSceneFrameCpu(frame, textures, &pinned);
        PinCpuFrameGathers(was);
        LimitCpuFrameVectors(widest);
        EXPECT_TRUE(pinned == scalar) << bits << (gathers ? " gathered" : " loaded");
      }
    if (&c == &cases[0]) {
      // A picture wider than the vector filter takes (its columns and strides
      // would not fit the words it computes with) draws the same both ways.
      CpuTextures wide = textures;
      CpuTexture& background = wide[frame.backgroundTexture];
      background = CpuTexture{};
      background.width = 32768;
      background.height = 2;
      background.rgba.resize((size_t)background.width * background.height * 4);
      for (size_t i = 0; i < background.rgba.size(); ++i) background.rgba[i] = (uint8_t)(i * 7 + i / 4096);
      std::vector<uint8_t> vector, plain;
      DrawSceneFrameCpu(frame, wide, &vector);
      LimitCpuFrameVectors(0);
      DrawSceneFrameCpu(frame, wide, &plain);
      LimitCpuFrameVectors(widest);
      EXPECT_TRUE(vector == plain);
    }
    // Straight into a pixel surface's buffer (rows top first, B, G, R, X, with
    // room past each row): the same frame over whatever the buffer held, and
    // nothing written past a row's pixels.
    const size_t stride = (size_t)c.width * 4 + 12;
    std::vector<uint8_t> surface(stride * c.height, 0xA5);
    DrawSceneFrameCpu(frame, textures, PixelBuffer{surface.data(), c.width, c.height, stride});
    size_t unlike = 0, overwritten = 0;
    for (int y = 0; y < c.height; ++y) {
      const uint8_t* row = surface.data() + y * stride;
      const uint8_t* rgba = cpu.data() + (size_t)(c.height - 1 - y) * c.width * 4;
      for (int x = 0; x < c.width; ++x)
        unlike += row[x * 4] != rgba[x * 4 + 2] || row[x * 4 + 1] != rgba[x * 4 + 1] || row[x * 4 + 2] != rgba[x * 4];
      for (size_t k = (size_t)c.width * 4; k < stride; ++k) overwritten += row[k] != 0xA5;
    }
    EXPECT_EQ(unlike, 0u);
    EXPECT_EQ(overwritten, 0u);

    int largest = 0;
    size_t over2 = 0, lit = 0;
    std::vector<uint8_t> difference(gl.size(), 255);
    for (size_t i = 0; i < gl.size() / 4; ++i) {
      int worst = 0;
      for (int k = 0; k < 3; ++k) {
        const int d = std::abs(int(gl[i * 4 + k]) - int(cpu[i * 4 + k]));
        worst = std::max(worst, d);
        difference[i * 4 + k] = (uint8_t)std::min(255, d * 10);
      }
      largest = std::max(largest, worst);
      over2 += worst > 2;
      lit += gl[i * 4] + gl[i * 4 + 1] + gl[i * 4 + 2] > 30;
    }
    const std::string stem = std::string(kImageFolder) + "/" + c.name;
    WritePpm(stem + "-gl.ppm", c.width, c.height, gl);
    WritePpm(stem + "-cpu.ppm", c.width, c.height, cpu);
    WritePpm(stem + "-difference.ppm", c.width, c.height, difference);
    std::printf("%s: largest difference %d, %zu of %zu pixels over 2\n", c.name, largest, over2, gl.size() / 4);
    // Not a black frame matched by a black frame.
    EXPECT_GT(lit, gl.size() / 4 / 4);
    // Filtering and blending rounded differently, and texture coordinates taken
    // straight across a triangle rather than through its depth: never a pixel
    // covered by one and not the other, and hardly any pixel more than 2 apart.
    EXPECT_LE(largest, 3);
    EXPECT_LE(over2 * 1000, gl.size() / 4);
  }
}

}  // namespace

}  // namespace ambrel
