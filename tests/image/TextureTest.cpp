#include <epoxy/gl.h>
// After epoxy's header, which stands for the plain one GLU's would include.
#include <GL/glu.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "GLTest.h"
#include "ImageTestSupport.h"
#include "image/BoxScale.h"
#include "image/Texture.h"

namespace ambrel {

namespace {

Bytes ReadBack(const Texture& t) {
  Bytes out(size_t(t.width) * t.height * 4);
  glBindTexture(GL_TEXTURE_2D, t.texID);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
  return out;
}

Bytes Alphas(const Bytes& rgba) {
  Bytes out;
  for (size_t i = 3; i < rgba.size(); i += 4) out.push_back(rgba[i]);
  return out;
}

void Fill(Texture* t, uint32_t width, uint32_t height, uint32_t type, const Bytes& pixels) {
  t->width = width;
  t->height = height;
  t->type = type;
  t->imageData = static_cast<unsigned char*>(std::malloc(pixels.size()));
  std::memcpy(t->imageData, pixels.data(), pixels.size());
}

// Black key first, then black off by one, the (200, 50, 10) pixel, black again.
const Bytes kRgb = {0, 0, 0, 0, 0, 1, 200, 50, 10, 0, 0, 0};

using TextureTest = GLTest;

TEST_F(TextureTest, AlphaRules) {
  const struct {
    int mode;
    Bytes alphas;
  } cases[] = {{1, {0, 255, 255, 0}}, {2, {0, 1, 200, 0}}, {0, {255, 255, 255, 255}},
               {3, {255, 255, 255, 255}}, {-1, {255, 255, 255, 255}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    Texture t;
    Fill(&t, 2, 2, GL_RGB, kRgb);
    ASSERT_TRUE(BuildTexture(&t, c.mode));
    const Bytes rgba = ReadBack(t);
    EXPECT_EQ(Alphas(rgba), c.alphas);
    EXPECT_EQ(rgba[8], 200);
    EXPECT_EQ(rgba[10], 10);
  }
  // An image's own alpha wins over every mode.
  for (int mode : {0, 1, 2}) {
    Texture t;
    Fill(&t, 2, 1, GL_RGBA, {0, 0, 0, 77, 9, 9, 9, 128});
    ASSERT_TRUE(BuildTexture(&t, mode));
    EXPECT_EQ(Alphas(ReadBack(t)), (Bytes{77, 128})) << mode;
  }
}

TEST_F(TextureTest, UploadLeavesTheTextureBoundAndOwnsItsName) {
  GLuint name = 0;
  {
    Texture t;
    Fill(&t, 2, 2, GL_RGB, kRgb);
    ASSERT_TRUE(BuildTexture(&t, 0));
    EXPECT_EQ(t.imageData, nullptr);
    ASSERT_NE(t.texID, 0u);
    GLint bound = 0, wrapS = 0, wrapT = 0, minFilter = 0, magFilter = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrapS);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrapT);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
    EXPECT_EQ(GLuint(bound), t.texID);
    EXPECT_EQ(wrapS, GL_REPEAT);
    EXPECT_EQ(wrapT, GL_REPEAT);
    EXPECT_EQ(minFilter, GL_LINEAR);
    EXPECT_EQ(magFilter, GL_LINEAR);
    name = t.texID;
    EXPECT_TRUE(glIsTexture(name));
  }
  EXPECT_FALSE(glIsTexture(name)) << "the destructor deletes the name";
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureTest, SecondImageAlphaAndPlainUpload) {
  Texture t;
  Fill(&t, 2, 1, GL_RGBA, {10, 20, 30, 40, 50, 60});  // read as 3 bytes a pixel whatever type says
  Bytes alpha = {99, 1, 1, 7, 2, 2};
  char* alphaImage = reinterpret_cast<char*>(alpha.data());
  ASSERT_TRUE(BuildTGATextureWithAlpha(&t, &alphaImage));
  EXPECT_EQ(t.imageData, nullptr);
  EXPECT_EQ(ReadBack(t), (Bytes{10, 20, 30, 99, 40, 50, 60, 7}));
  EXPECT_EQ(alpha[0], 99) << "the second image stays with its owner";

  Texture plain;
  Fill(&plain, 1, 1, GL_RGB, {5, 6, 7});
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  ASSERT_TRUE(BuildTextureNoTran(&plain));
  EXPECT_EQ(plain.imageData, nullptr);
  EXPECT_EQ(ReadBack(plain), (Bytes{5, 6, 7, 255}));
}

// Up and down, by odd ratios, exact halves, one-pixel sides and wrapping boxes:
// the same bytes as GLU itself under a context.
TEST_F(TextureTest, BoxScaleGivesGluScaleImagesBytes) {
  const struct {
    int widthIn, heightIn, widthOut, heightOut;
  } cases[] = {{7, 5, 3, 9}, {200, 90, 256, 128}, {300, 170, 128, 256}, {8, 6, 4, 3},  {1, 1, 4, 3},
               {13, 1, 4, 1}, {1, 17, 1, 4},       {3, 1, 1, 1},       {1, 3, 1, 4}, {33, 31, 64, 16}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.widthIn) + "x" + std::to_string(c.heightIn) + " to " + std::to_string(c.widthOut) +
                 "x" + std::to_string(c.heightOut));
    Bytes in(size_t(c.widthIn) * c.heightIn * 4);
    for (size_t i = 0; i < in.size(); ++i) in[i] = uint8_t(i * 7 + i / 977 + (i % 13) * 31);
    Bytes expected(size_t(c.widthOut) * c.heightOut * 4), scaled(expected.size());
    ASSERT_EQ(gluScaleImage(GL_RGBA, c.widthIn, c.heightIn, GL_UNSIGNED_BYTE, in.data(), c.widthOut, c.heightOut,
                            GL_UNSIGNED_BYTE, expected.data()),
              0);
    BoxScaleRGBA(in.data(), c.widthIn, c.heightIn, scaled.data(), c.widthOut, c.heightOut);
    EXPECT_TRUE(scaled == expected);
  }
}

class PackLoadTest : public GLTest {
 protected:
  ScratchDir dir;
  AlertRecorder recorder;
};

const Bytes kImage = TgaHeader(2, 2, 1, 24) + Bytes{0x10, 0x20, 0x30, 0x40, 0x50, 0x60};

TEST_F(PackLoadTest, ThirdLumpFailsAfterOneAlert) {
  const Bytes broken = TgaHeader(3, 2, 1, 24) + Bytes(6, 0);
  const std::string pack =
      dir.Write("p", BuildPack({{0, 0, {'h', 'i'}}, {1, 2, kImage}, {1, 0, broken}, {1, 0, kImage}}));

  Texture* textures = new Texture[2];
  Fill(&textures[0], 1, 1, GL_RGB, {1, 2, 3});
  ASSERT_TRUE(BuildTexture(&textures[0], 0));
  const GLuint oldName = textures[0].texID;
  int count = 2;

  EXPECT_FALSE(LoadTexturesFromDataFile(pack.c_str(), &textures, &count));
  EXPECT_FALSE(glIsTexture(oldName)) << "the caller's old array is released";
  ASSERT_EQ(count, 4);
  EXPECT_EQ(textures[0].texID, 0u);
  EXPECT_NE(textures[1].texID, 0u);
  EXPECT_EQ(textures[1].width, 2u);
  EXPECT_EQ(Alphas(ReadBack(textures[1])), (Bytes{0x30, 0x60}));
  EXPECT_EQ(textures[2].texID, 0u);
  EXPECT_EQ(textures[2].imageData, nullptr);
  EXPECT_EQ(textures[3].texID, 0u);
  ASSERT_EQ(recorder.alerts.size(), 1u);
  EXPECT_EQ(recorder.alerts[0].title, "Invalid Image");
  delete[] textures;
}

TEST_F(PackLoadTest, BadPacksLeaveTheCallersArray) {
  Texture* textures = nullptr;
  int count = 0;
  ASSERT_TRUE(LoadTexturesFromDataFile(dir.Write("empty", BuildPack({})).c_str(), &textures, &count));
  EXPECT_EQ(count, 0);
  Texture* const kept = textures;

  Bytes damaged = BuildPack({{1, 0, kImage}});
  damaged.push_back(0);
  EXPECT_FALSE(LoadTexturesFromDataFile(dir.Write("damaged", damaged).c_str(), &textures, &count));
  EXPECT_FALSE(LoadTexturesFromDataFile(dir.File("missing").c_str(), &textures, &count));
  EXPECT_EQ(textures, kept);
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(recorder.alerts.empty()) << "the reader shows no messages";

  ASSERT_TRUE(LoadTexturesFromDataFile(dir.Write("data", BuildPack({{0, 1, kImage}, {7, 2, kImage}})).c_str(),
                                       &textures, &count));
  ASSERT_EQ(count, 2);
  EXPECT_EQ(textures[0].texID, 0u);
  EXPECT_EQ(textures[1].texID, 0u);
  delete[] textures;
}

}  // namespace

}  // namespace ambrel
