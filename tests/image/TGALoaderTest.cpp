#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include "ImageTestSupport.h"
#include "image/ResFile.h"
#include "image/TGALoader.h"

namespace ambrel {

namespace {

const Bytes kTwoPixelTga = TgaHeader(2, 2, 1, 24) + Bytes{0x10, 0x20, 0x30, 0x40, 0x50, 0x60};

Bytes Pixels(const Texture& t) {
  const size_t size = size_t(t.width) * t.height * (t.type == GL_RGBA ? 4 : 3);
  return t.imageData ? Bytes(t.imageData, t.imageData + size) : Bytes();
}

// Both decoder families over the same bytes: the file family by path, the stream
// family from inside a pack whose only lump holds the bytes and ends the file (a
// marker follows it when asked, to show where the decoder stops).
struct Decoded {
  bool ok = false;
  Texture texture;
  std::vector<AlertRecorder::Alert> alerts;
  std::streamoff streamEnd = -1;  // stream family: where the stream stands afterwards
};

class TgaTest : public ::testing::TestWithParam<bool> {
 protected:
  bool streamFamily() const { return GetParam(); }

  void Decode(const Bytes& tga, Decoded* out, bool marker = true) {
    AlertRecorder recorder;
    if (streamFamily()) {
      RESFILE reader;
      const Bytes lump = marker ? tga + Bytes{'E', 'N', 'D'} : tga;
      const std::string pack = dir.Write("p.tallowyn", BuildPack({{1, 0, lump}}, true));
      ASSERT_TRUE(reader.Open(pack.c_str()));
      ASSERT_TRUE(reader.SeekLump(0));
      out->ok = LoadTGA2(&out->texture, &reader.file);
      if (!reader.file.fail()) out->streamEnd = reader.file.tellg() - std::streamoff(24 + 28);
    } else {
      out->ok = LoadTGA(&out->texture, dir.Write("x.tga", tga).c_str());
    }
    out->alerts = recorder.alerts;
  }

  // Decodes and expects exactly one alert with the given text and title.
  void ExpectFailure(const Bytes& tga, const std::string& message, const std::string& title = "ERROR") {
    Decoded d;
    Decode(tga, &d, false);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.texture.imageData, nullptr);
    ASSERT_EQ(d.alerts.size(), 1u) << message;
    EXPECT_EQ(d.alerts[0].message, message);
    EXPECT_EQ(d.alerts[0].title, title);
  }

  ScratchDir dir;
};

TEST_P(TgaTest, WorkedExampleAndByteOrder) {
  Decoded d;
  Decode(kTwoPixelTga, &d);
  ASSERT_TRUE(d.ok);
  EXPECT_TRUE(d.alerts.empty());
  EXPECT_EQ(d.texture.width, 2u);
  EXPECT_EQ(d.texture.height, 1u);
  EXPECT_EQ(d.texture.bpp, 24u);
  EXPECT_EQ(d.texture.type, unsigned(GL_RGB));
  EXPECT_EQ(Pixels(d.texture), (Bytes{0x30, 0x20, 0x10, 0x60, 0x50, 0x40}));
  if (streamFamily()) {
    EXPECT_EQ(d.streamEnd, 24) << "trailing bytes must stay unread";
  }

  Decoded rgba;
  Decode(TgaHeader(2, 1, 1, 32) + Bytes{1, 2, 3, 4}, &rgba);
  ASSERT_TRUE(rgba.ok);
  EXPECT_EQ(rgba.texture.type, unsigned(GL_RGBA));
  EXPECT_EQ(Pixels(rgba.texture), (Bytes{3, 2, 1, 4}));
}

TEST_P(TgaTest, RunLengthPackets) {
  Decoded run;
  Decode(TgaHeader(10, 2, 2, 24) + Bytes{0x83, 1, 2, 3}, &run);
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(Pixels(run.texture), (Bytes{3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1}));

  Decoded raw;
  Decode(TgaHeader(10, 2, 2, 32) + Bytes{0x03, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, &raw);
  ASSERT_TRUE(raw.ok);
  EXPECT_EQ(raw.texture.type, unsigned(GL_RGBA));
  EXPECT_EQ(Pixels(raw.texture), (Bytes{3, 2, 1, 4, 7, 6, 5, 8, 11, 10, 9, 12, 15, 14, 13, 16}));
  if (streamFamily()) {
    EXPECT_EQ(raw.streamEnd, 18 + 17);
  }

  // 80: run of 1; FF: run of 128; 7F: raw 128; 00: raw 1. 258 pixels in all.
  Bytes packets = {0x80, 9, 9, 9, 0xFF, 1, 1, 1, 0x7F};
  for (int i = 0; i < 128; ++i) packets = packets + Bytes{uint8_t(i), 0, 0};
  packets = packets + Bytes{0x00, 7, 7, 7};
  Decoded sizes;
  Decode(TgaHeader(10, 258, 1, 24) + packets, &sizes);
  ASSERT_TRUE(sizes.ok);
  const Bytes out = Pixels(sizes.texture);
  ASSERT_EQ(out.size(), 258u * 3);
  EXPECT_EQ(out[0], 9);
  EXPECT_EQ(out[3 * 1], 1);
  EXPECT_EQ(out[3 * 128], 1);
  EXPECT_EQ(out[3 * 129 + 2], 0);
  EXPECT_EQ(out[3 * 256 + 2], 127);
  EXPECT_EQ(out[3 * 257], 7);
}

TEST_P(TgaTest, EveryFailureShowsItsOneAlert) {
  ExpectFailure(Bytes{0, 0, 2, 0, 0}, "Could not read file header");
  ExpectFailure(TgaHeader(3, 2, 1, 24), "TGA file be type 2 or type 10 ", "Invalid Image");
  Bytes withId = kTwoPixelTga;
  withId[0] = 1;
  ExpectFailure(withId, "TGA file be type 2 or type 10 ", "Invalid Image");
  Bytes colourMap = kTwoPixelTga;
  colourMap[1] = 1;
  ExpectFailure(colourMap, "TGA file be type 2 or type 10 ", "Invalid Image");
  Bytes origin = kTwoPixelTga;
  origin[10] = 5;
  ExpectFailure(origin, "TGA file be type 2 or type 10 ", "Invalid Image");

  for (uint8_t type : {2, 10}) {
    const Bytes header = TgaHeader(type, 2, 1, 24);
    ExpectFailure(Bytes(header.begin(), header.begin() + 15), "Could not read info header");
    ExpectFailure(TgaHeader(type, 0, 1, 24), "Invalid texture information");
    ExpectFailure(TgaHeader(type, 1, 0, 24), "Invalid texture information");
    for (uint8_t depth : {8, 15, 16})
      ExpectFailure(TgaHeader(type, 1, 1, depth), "Invalid texture information");
    // 65535 x 65535 x 4 bytes does not fit 32 bits.
    ExpectFailure(TgaHeader(type, 65535, 65535, 32), "Could not allocate memory for image");
  }

  ExpectFailure(TgaHeader(2, 2, 1, 24) + Bytes{1, 2, 3, 4, 5}, "Could not read image data");
  // A header announcing 3.6 GB over a few bytes of data fails without the buffer.
  ExpectFailure(TgaHeader(2, 30000, 30000, 32) + Bytes{1, 2, 3}, "Could not read image data");
  ExpectFailure(TgaHeader(10, 2, 1, 24) + Bytes{0x80, 1, 2, 3}, "Could not read RLE header");
  ExpectFailure(TgaHeader(10, 2, 1, 24) + Bytes{0x01, 1, 2, 3, 4}, "Could not read image data");
  ExpectFailure(TgaHeader(10, 2, 1, 24) + Bytes{0x81, 1, 2}, "Could not read from file");
  ExpectFailure(TgaHeader(10, 30000, 30000, 32) + Bytes{0xFF, 1, 2, 3, 4}, "Could not read RLE header");
  // One pixel too many, in a run and in a raw packet.
  ExpectFailure(TgaHeader(10, 2, 1, 24) + Bytes{0x82, 1, 2, 3}, "Too many pixels read");
  ExpectFailure(TgaHeader(10, 2, 1, 24) + Bytes{0x00, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9},
                "Too many pixels read");
}

TEST_P(TgaTest, HeaderValuesStayAfterAFailure) {
  Decoded d;
  Decode(TgaHeader(2, 7, 5, 16), &d);
  EXPECT_FALSE(d.ok);
  EXPECT_EQ(d.texture.width, 7u);
  EXPECT_EQ(d.texture.height, 5u);
  EXPECT_EQ(d.texture.bpp, 16u);
}

TEST_P(TgaTest, DescriptorIsIgnoredAndRowsKeepTheirOrder) {
  const Bytes rows = {1, 1, 1, 2, 2, 2};
  Decoded bottomUp, topDown, claimsAlpha;
  Decode(TgaHeader(2, 1, 2, 24, 0x00) + rows, &bottomUp);
  Decode(TgaHeader(2, 1, 2, 24, 0x20) + rows, &topDown);
  Decode(TgaHeader(2, 1, 2, 24, 0x08) + rows, &claimsAlpha);
  ASSERT_TRUE(bottomUp.ok && topDown.ok && claimsAlpha.ok);
  EXPECT_EQ(Pixels(bottomUp.texture), rows);
  EXPECT_EQ(Pixels(topDown.texture), rows);
  EXPECT_EQ(claimsAlpha.texture.type, unsigned(GL_RGB));
}

// Files written by ImageMagick, against ImageMagick's own pixel dump (top row first;
// the TGA files are stored bottom row first and decode in stored order).
TEST_P(TgaTest, DecodesImageMagickFiles) {
  for (const char* name : {"raw24", "rle24", "raw32", "rle32"}) {
    SCOPED_TRACE(name);
    const bool alpha = name[4] == '2' && name[3] == '3';
    const Bytes expected = ReadBytes(DataFile(std::string(name) + (alpha ? ".rgba" : ".rgb")));
    Decoded d;
    Decode(ReadBytes(DataFile(std::string(name) + ".tga")), &d);
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.texture.width, 7u);
    ASSERT_EQ(d.texture.height, 5u);
    EXPECT_EQ(d.texture.type, unsigned(alpha ? GL_RGBA : GL_RGB));
    const size_t row = 7 * (alpha ? 4 : 3);
    const Bytes got = Pixels(d.texture);
    ASSERT_EQ(got.size(), expected.size());
    for (size_t r = 0; r < 5; ++r)
      EXPECT_EQ(Bytes(got.begin() + r * row, got.begin() + (r + 1) * row),
                Bytes(expected.begin() + (4 - r) * row, expected.begin() + (5 - r) * row))
          << "row " << r;
  }
}

INSTANTIATE_TEST_SUITE_P(Families, TgaTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Stream" : "File"; });

TEST(TgaSourceTest, UnusableSourcesAlertOnce) {
  ScratchDir dir;
  AlertRecorder recorder;
  Texture texture;
  EXPECT_FALSE(LoadTGA2(&texture, nullptr));
  RESFILE closed;
  EXPECT_FALSE(LoadTGA2(&texture, &closed.file));
  RESFILE failed;
  EXPECT_FALSE(failed.Open(dir.Write("bad", Bytes(30, 'x')).c_str()));
  EXPECT_FALSE(LoadTGA2(&texture, &failed.file));
  EXPECT_FALSE(LoadTGA(&texture, dir.File("missing.tga").c_str()));
  ASSERT_EQ(recorder.alerts.size(), 4u);
  for (const auto& alert : recorder.alerts) {
    EXPECT_EQ(alert.title, "ERROR");
    EXPECT_EQ(alert.message, "Could not open texture file");
  }
}

}  // namespace

}  // namespace ambrel
