// The screen capture taken when a view is made: sizing, scaling, the black test,
// bad captures and the switch to the desktop picture.
#include <epoxy/gl.h>
// After epoxy's header, which stands for the plain one GLU's would include.
#include <GL/glu.h>

#include "HostFixture.h"

namespace ambrel {

namespace {

struct CaptureCase {
  int width, height, bgRes;
  bool preview;
  int textureWidth, textureHeight;
};

class CaptureSizing : public ::testing::TestWithParam<CaptureCase> {};

TEST_P(CaptureSizing, PowerOfTwoNearestOnALogScaleLimitedByDetail) {
  const CaptureCase c = GetParam();
  ScopedConfigHome home;
  OffscreenEngine engine({Screen{Rect{0, 0, double(c.width), double(c.height)}, 1}}, {c.preview, 1000});
  engine.setCapture(1, SolidCapture(c.width, c.height, 30, 60, 90));
  SETTINGS settings = MakeSettings(0);
  settings.BGRES = c.bgRes;
  engine.createViews(AmbrelFactory(settings));
  ASSERT_TRUE(engine.makeCurrent(0));
  const TextureInfo info = DescribeTexture(Ambrel(engine, 0)->DeskTex.texID);
  EXPECT_EQ(info.width, c.textureWidth);
  EXPECT_EQ(info.height, c.textureHeight);
  EXPECT_EQ(info.g, 60);
  GLint wrap = 0, filter = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
  EXPECT_EQ(wrap, GL_REPEAT);
  EXPECT_EQ(filter, GL_LINEAR);
}

INSTANTIATE_TEST_SUITE_P(Screens, CaptureSizing,
                         ::testing::Values(CaptureCase{1440, 900, 1, false, 1024, 1024},
                                           CaptureCase{1440, 900, 0, false, 512, 512},
                                           CaptureCase{1440, 900, 2, true, 512, 512},
                                           CaptureCase{1920, 1200, 2, false, 2048, 1024},
                                           CaptureCase{724, 725, 2, false, 512, 1024},
                                           CaptureCase{1, 3, 1, false, 1, 4}),
                         [](const ::testing::TestParamInfo<CaptureCase>& info) {
                           const CaptureCase& c = info.param;
                           return std::to_string(c.width) + "x" + std::to_string(c.height) + "_detail" +
                                  std::to_string(c.bgRes) + (c.preview ? "_preview" : "");
                         });

TEST(Capture, TexelsAreWhatGluScalesTheCaptureTo) {
  ScopedConfigHome home;
  for (const auto& [width, height] : {std::pair{128, 128}, std::pair{200, 90}}) {
    OffscreenEngine engine({Screen{Rect{0, 0, double(width), double(height)}, 1}});
    CapturedImage image = SolidCapture(width, height, 0, 0, 0);
    for (size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = uint8_t(i * 7 + i / 977);
    engine.setCapture(1, image);
    engine.createViews(AmbrelFactory(MakeSettings(0)));
    ASSERT_TRUE(engine.makeCurrent(0));
    const TextureInfo info = DescribeTexture(Ambrel(engine, 0)->DeskTex.texID);
    std::vector<uint8_t> expected(size_t(info.width) * info.height * 4), texels(expected.size());
    ASSERT_EQ(gluScaleImage(GL_RGBA, width, height, GL_UNSIGNED_BYTE, image.pixels.data(), info.width, info.height,
                            GL_UNSIGNED_BYTE, expected.data()),
              0);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_TRUE(texels == expected) << width << "x" << height;  // rows as read: no flip
  }
}

TEST(Capture, BlackMissingOrBrokenCapturesSwitchToTheDesktopPicture) {
  ScopedConfigHome home;
  OffscreenEngine engine({Screen{Rect{0, 0, 64, 48}, 1}});
  CapturedImage shortBuffer = SolidCapture(64, 48, 200, 200, 200), negative = SolidCapture(2, 2, 200, 200, 200);
  shortBuffer.height = 4800;  // claims far more rows than it holds
  negative.width = -2;
  for (const auto& capture : {std::optional<CapturedImage>(SolidCapture(64, 48, 0, 0, 0, 255)),
                              std::optional<CapturedImage>(), std::optional(shortBuffer), std::optional(negative)}) {
    engine.setCapture(1, capture);
    engine.createViews(AmbrelFactory(MakeSettings(0)));
  }
  CapturedImage oneLit = SolidCapture(64, 48, 0, 0, 0, 0);
  oneLit.pixels[oneLit.pixels.size() - 2] = 255;  // blue, top right
  engine.setCapture(1, oneLit);
  engine.createViews(AmbrelFactory(MakeSettings(0)));
  ASSERT_EQ(engine.viewCount(), 5);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Ambrel(engine, i)->DeskTex.texID, 0u) << i;
    EXPECT_EQ(Ambrel(engine, i)->mySettings.BGTYPE, 1) << i;
  }
  EXPECT_NE(Ambrel(engine, 4)->DeskTex.texID, 0u);
  EXPECT_EQ(Ambrel(engine, 4)->mySettings.BGTYPE, 0);
}

TEST(Capture, TheCaptureComesFromTheScreenUnderTheView) {
  ScopedConfigHome home;
  OffscreenEngine engine({Screen{Rect{0, 0, 64, 48}, 3}, Screen{Rect{64, 0, 64, 48}, 4}});
  engine.setCapture(3, SolidCapture(64, 48, 255, 0, 0));
  engine.setCapture(4, SolidCapture(64, 48, 0, 255, 0));
  engine.createViews(AmbrelFactory(MakeSettings(0)));
  ASSERT_TRUE(engine.makeCurrent(1));
  EXPECT_EQ(DescribeTexture(Ambrel(engine, 1)->DeskTex.texID).g, 255);
}

}  // namespace

}  // namespace ambrel
