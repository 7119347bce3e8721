#include <epoxy/gl.h>
#include <dirent.h>
#include <png.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "GLTest.h"
#include "ImageTestSupport.h"
#include "image/Pics.h"

namespace ambrel {

namespace {

// Writes a real PNG with libpng: colour type and bit depth as given, rows top first.
void WritePng(const std::string& path, uint32_t width, uint32_t height, int colourType, int depth,
              const Bytes& rows, const std::vector<png_color>& palette = {}) {
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, depth, colourType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
  png_write_info(png, info);
  const size_t stride = rows.size() / height;
  for (uint32_t y = 0; y < height; ++y) png_write_row(png, &rows[y * stride]);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

void WriteRgbPng(const std::string& path, uint32_t width, uint32_t height) {
  Bytes rows(size_t(width) * height * 3);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = uint8_t(i * 7);
  WritePng(path, width, height, PNG_COLOR_TYPE_RGB, 8, rows);
}

Bytes TextureLevel(const Texture& t, GLint* width, GLint* height) {
  glBindTexture(GL_TEXTURE_2D, t.texID);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, height);
  Bytes out(size_t(*width) * *height * 4);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
  return out;
}

int OpenDescriptors() {
  int count = 0;
  if (DIR* fds = opendir("/proc/self/fd")) {
    while (readdir(fds)) ++count;
    closedir(fds);
  }
  return count;
}

TEST(PictureSizeTest, DetailSizes) {
  EXPECT_EQ(PictureTextureSide(0, 1920, 16384), 512u);
  EXPECT_EQ(PictureTextureSide(0, 3, 16384), 512u);
  EXPECT_EQ(PictureTextureSide(1, 1080, 16384), 1024u);
  // A capture is never enlarged: a small one keeps its nearest power of two.
  EXPECT_EQ(PictureTextureSide(0, 300, 16384, DetailFit::kAtMost), 256u);
  EXPECT_EQ(PictureTextureSide(1, 1920, 16384, DetailFit::kAtMost), 1024u);
  const std::pair<int, uint32_t> nearest[] = {{724, 512},   {725, 1024},  {1080, 1024}, {1448, 1024},
                                              {1449, 2048}, {1920, 2048}, {2880, 2048}, {1, 1},
                                              {3, 4}};
  for (const auto& [side, expected] : nearest) EXPECT_EQ(PictureTextureSide(2, side, 16384), expected) << side;
  EXPECT_EQ(PictureTextureSide(2, 5000, 4096), 4096u);
  EXPECT_EQ(PictureTextureSide(7, 1920, 1024), 1024u);
}

class PicsTest : public GLTest {
 protected:
  ScratchDir dir;
};

TEST_F(PicsTest, PictureSizeStaysOnTheRecordWhateverTheDetail) {
  const std::string path = dir.File("wide.png");
  WriteRgbPng(path, 1920, 1080);
  // Decoded first to see that it can be shown, as a run does before its views.
  PictureBitmap checked;
  ASSERT_TRUE(ReadPicture(path.c_str(), &checked));
  const std::weak_ptr<const void> pixels = checked.storage;
  checked = PictureBitmap{};
  const std::pair<int, std::pair<int, int>> details[] = {{0, {512, 512}}, {1, {1024, 1024}}, {2, {2048, 1024}}};
  for (const auto& [detail, size] : details) {
    Texture t;
    ASSERT_TRUE(loadPicFile(path.c_str(), &t, detail)) << detail;
    EXPECT_TRUE(pixels.expired()) << "the decoded picture outlives the texture made of it";
    GLint w = 0, h = 0;
    TextureLevel(t, &w, &h);
    EXPECT_EQ(w, size.first);
    EXPECT_EQ(h, size.second);
    EXPECT_EQ(t.width, 1920u);
    EXPECT_EQ(t.height, 1080u);
    EXPECT_EQ(t.imageData, nullptr);
    EXPECT_EQ(t.type, unsigned(GL_RGB));
  }
}

TEST_F(PicsTest, NearestSamplesWithTheTopRowLast) {
  // 3 x 2: top row red, green, blue; bottom row grey levels 10, 20, 30.
  const std::string path = dir.File("rows.png");
  WritePng(path, 3, 2, PNG_COLOR_TYPE_RGB, 8, {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 10, 10, 20, 20, 20, 30, 30, 30});
  Texture t;
  ASSERT_TRUE(loadPicFile(path.c_str(), &t, 2));
  GLint w = 0, h = 0;
  const Bytes got = TextureLevel(t, &w, &h);
  ASSERT_EQ(w, 4);  // 3 -> 4: columns 0, 0, 1, 2
  ASSERT_EQ(h, 2);
  const Bytes firstRow = {10, 10, 10, 255, 10, 10, 10, 255, 20, 20, 20, 255, 30, 30, 30, 255};
  const Bytes lastRow = {255, 0, 0, 255, 255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255};
  EXPECT_EQ(Bytes(got.begin(), got.begin() + 16), firstRow);
  EXPECT_EQ(Bytes(got.begin() + 16, got.end()), lastRow);
}

TEST_F(PicsTest, PlatformDecoderGivesEightBitRgb) {
  PictureBitmap grey;
  WritePng(dir.File("grey.png"), 2, 1, PNG_COLOR_TYPE_GRAY, 8, {0x40, 0xC0});
  ASSERT_TRUE(ReadPicture(dir.File("grey.png").c_str(), &grey));
  EXPECT_EQ(grey.bitsPerPixel, 24);
  EXPECT_EQ(Bytes(grey.bitmapData, grey.bitmapData + 6), (Bytes{0x40, 0x40, 0x40, 0xC0, 0xC0, 0xC0}));

  PictureBitmap deep;
  WritePng(dir.File("deep.png"), 1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 16, {0xAB, 0xAB, 0x12, 0x12, 0xEF, 0xEF, 0x80, 0x80});
  ASSERT_TRUE(ReadPicture(dir.File("deep.png").c_str(), &deep));
  EXPECT_EQ(deep.bitsPerPixel, 32);
  EXPECT_EQ(Bytes(deep.bitmapData, deep.bitmapData + 4), (Bytes{0xAB, 0x12, 0xEF, 0x80}));

  PictureBitmap indexed;
  WritePng(dir.File("indexed.png"), 2, 1, PNG_COLOR_TYPE_PALETTE, 8, {1, 0}, {{1, 2, 3}, {200, 100, 50}});
  ASSERT_TRUE(ReadPicture(dir.File("indexed.png").c_str(), &indexed));
  EXPECT_EQ(indexed.bitsPerPixel, 24);
  EXPECT_EQ(Bytes(indexed.bitmapData, indexed.bitmapData + 6), (Bytes{200, 100, 50, 1, 2, 3}));

  PictureBitmap webp;
  ASSERT_TRUE(ReadPicture(DataFile("small.webp").c_str(), &webp));
  EXPECT_EQ(webp.pixelsWide, 3);
  EXPECT_EQ(Bytes(webp.bitmapData, webp.bitmapData + 3), (Bytes{0, 128, 128}));

  // A GIF written by ImageMagick, against ImageMagick's dump (top row first).
  PictureBitmap gif;
  ASSERT_TRUE(ReadPicture(DataFile("pic.gif").c_str(), &gif));
  ASSERT_EQ(gif.pixelsWide, 7);
  ASSERT_EQ(gif.pixelsHigh, 5);
  const Bytes expected = ReadBytes(DataFile("pic-gif.rgb"));
  const size_t bpp = size_t(gif.bitsPerPixel / 8);
  for (size_t y = 0; y < 5; ++y)
    for (size_t x = 0; x < 7; ++x)
      for (size_t c = 0; c < 3; ++c)
        ASSERT_EQ(gif.bitmapData[y * size_t(gif.bytesPerRow) + x * bpp + c], expected[(y * 7 + x) * 3 + c])
            << x << "," << y;
}

TEST_F(PicsTest, ExifOrientationIsApplied) {
  // The plain 4 x 2 JPEG has a blue top-left pixel on red; an Exif block saying
  // "rotate 90 degrees clockwise" (orientation 6) makes it 2 x 4, blue at top right.
  Bytes jpeg = ReadBytes(DataFile("plain.jpg"));
  ASSERT_GT(jpeg.size(), 2u);
  const Bytes exif = {0xFF, 0xE1, 0x00, 0x22, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 0x2A, 0x00, 0x08, 0, 0, 0,
                      0x01, 0x00, 0x12, 0x01, 0x03, 0x00, 0x01, 0, 0, 0, 0x06, 0x00, 0, 0, 0, 0, 0, 0};
  jpeg.insert(jpeg.begin() + 2, exif.begin(), exif.end());
  PictureBitmap picture;
  ASSERT_TRUE(ReadPicture(dir.Write("turned.jpg", jpeg).c_str(), &picture));
  ASSERT_EQ(picture.pixelsWide, 2);
  ASSERT_EQ(picture.pixelsHigh, 4);
  const unsigned char* topRight = picture.bitmapData + (picture.bitsPerPixel / 8);
  EXPECT_GT(topRight[2], 150);
  EXPECT_LT(topRight[0], 100);
}

TEST_F(PicsTest, BadPicturesLeaveTheRecordUnchanged) {
  mkdir(dir.File("folder.png").c_str(), 0755);
  dir.Write("text.png", {'h', 'e', 'l', 'l', 'o'});
  // A PNG header claiming 30000 x 30000 (with a correct CRC) and nothing after it.
  Bytes huge = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                0, 0, 0x75, 0x30, 0, 0, 0x75, 0x30, 8, 2, 0, 0, 0};
  const uint32_t crc = uint32_t(crc32(0, huge.data() + 12, 17));
  huge = huge + Bytes{uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
  dir.Write("huge.png", huge);
  WriteRgbPng(dir.File("side.png"), kMaxPictureSide + 1, 1);

  // A 186-byte BMP whose header made GdkPixbuf's BMP reader ask for 3 GB (found by
  // fuzzing): formats other than PNG, JPEG, GIF and WebP never reach a decoder.
  dir.Write("hostile.png", ReadBytes(DataFile("hostile.bmp")));

  for (const char* name : {"missing.png", "folder.png", "text.png", "huge.png", "side.png", "hostile.png"}) {
    Texture t;
    t.width = 3;
    EXPECT_FALSE(loadPicFile(dir.File(name).c_str(), &t, 2)) << name;
    EXPECT_EQ(t.width, 3u);
    EXPECT_EQ(t.texID, 0u);
    EXPECT_EQ(t.imageData, nullptr);
  }
  PictureBitmap widest;
  WriteRgbPng(dir.File("widest.png"), kMaxPictureSide, 1);
  EXPECT_TRUE(ReadPicture(dir.File("widest.png").c_str(), &widest));
}

TEST_F(PicsTest, FolderScanMatchesSuffixesCaseSensitively) {
  for (const char* name : {"a.jpg", "b.JPG", "c.jpeg", ".png", "d.gif", "e.png.txt"})
    dir.Write(name, {});
  EXPECT_EQ(CountFiles(dir.path().c_str(), ".jpg"), 1);
  EXPECT_EQ(CountFiles(dir.path().c_str(), ".png"), 0);
  EXPECT_EQ(CountFiles(dir.path().c_str(), ".gif"), 1);
  EXPECT_EQ(CountFiles(dir.File("nope").c_str(), ".jpg"), 0);
  char name[256] = "unchanged";
  EXPECT_TRUE(FindNthFile(dir.path().c_str(), name, ".jpg", 0));
  EXPECT_STREQ(name, "a.jpg");
  EXPECT_FALSE(FindNthFile(dir.path().c_str(), name, ".jpg", 1));
  EXPECT_FALSE(FindNthFile(dir.path().c_str(), name, ".jpg", -1));
}

TEST_F(PicsTest, RandomChoiceRanksJpgGifPngInDirectoryOrder) {
  for (const char* name : {"one.jpg", "two.jpg", "three.gif", "four.png", "skip.txt"}) dir.Write(name, {});
  std::vector<std::string> ranked;
  for (const char* extension : {".jpg", ".gif", ".png"}) {
    DIR* d = opendir(dir.path().c_str());
    while (const dirent* e = readdir(d)) {
      const std::string n = e->d_name;
      if (n.size() > 4 && n.compare(n.size() - 4, 4, extension) == 0) ranked.push_back(n);
    }
    closedir(d);
  }
  ASSERT_EQ(ranked.size(), 4u);
  std::vector<bool> seen(4, false);
  for (unsigned seed = 1; seed < 200; ++seed) {
    std::srand(seed);
    const int expected = std::rand() % 4;
    std::srand(seed);
    char name[256] = {};
    ASSERT_TRUE(ChooseRandomImageFile(dir.path().c_str(), name));
    EXPECT_EQ(name, ranked[size_t(expected)]) << seed;
    seen[size_t(expected)] = true;
  }
  EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 4);
}

TEST_F(PicsTest, LoadPictureJoinsPathsAndFailsCleanly) {
  const int descriptors = OpenDescriptors();
  Texture t;
  EXPECT_FALSE(LoadPicture(dir.File("missing").c_str(), &t, 0));
  EXPECT_FALSE(LoadPicture(dir.path().c_str(), &t, 0));
  mkdir(dir.File("only-a-folder.png").c_str(), 0755);
  EXPECT_FALSE(LoadPicture(dir.path().c_str(), &t, 0));
  EXPECT_EQ(OpenDescriptors(), descriptors) << "no directory stays open";

  // A 1023-byte folder and a 255-byte name: the joined path is 1279 bytes.
  std::string folder = dir.path();
  while (folder.size() < 1023) {
    folder += "/" + std::string(std::min<size_t>(200, 1023 - folder.size() - 1), 'f');
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  }
  ASSERT_EQ(folder.size(), 1023u);
  const std::string name = std::string(251, 'n') + ".png";
  WriteRgbPng(folder + "/" + name, 4, 4);
  for (const std::string& f : {folder, folder + "/"}) {
    Texture loaded;
    ASSERT_TRUE(LoadPicture(f.c_str(), &loaded, 0)) << f.size();
    EXPECT_EQ(loaded.width, 4u);
    EXPECT_NE(loaded.texID, 0u);
  }
  // A picture with an alpha channel comes out fully opaque.
  std::remove((folder + "/" + name).c_str());
  WritePng(folder + "/" + name, 1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, {9, 8, 7, 0});
  Texture rgba;
  ASSERT_TRUE(LoadPicture(folder.c_str(), &rgba, 0));
  EXPECT_EQ(rgba.type, unsigned(GL_RGBA));
  GLint w = 0, h = 0;
  const Bytes got = TextureLevel(rgba, &w, &h);
  EXPECT_EQ(Bytes(got.begin(), got.begin() + 4), (Bytes{9, 8, 7, 255}));
}

}  // namespace

}  // namespace ambrel
