// The pack tool and the pack that ships with Ambrel.
#include <epoxy/gl.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "GLTest.h"
#include "ImageTestSupport.h"
#include "image/ResFile.h"
#include "image/Texture.h"

namespace ambrel {

namespace {

int RunTool(const std::vector<std::string>& arguments) {
  ChildProcess tool;
  return tool.Start(AMBREL_PACK_TOOL, arguments, {}) ? tool.Wait(60) : -1;
}

std::string ShippedPack() {
  const char* resources = std::getenv("AMBREL_RESOURCES");
  return std::string(resources ? resources : ".") + "/morvish.tallowyn";
}

TEST(PackToolTest, WritesTheWorkedExampleByteForByte) {
  ScratchDir dir;
  const Bytes image = TgaHeader(2, 2, 1, 24) + Bytes{0x10, 0x20, 0x30, 0x40, 0x50, 0x60};
  const std::string source = dir.Write("two.tga", image);
  ASSERT_EQ(RunTool({"create", dir.File("one.tallowyn"), "1:0:" + source}), 0);
  EXPECT_EQ(ReadBytes(dir.File("one.tallowyn")), BuildPack({{1, 0, image}}));
  EXPECT_EQ(RunTool({"verify", dir.File("one.tallowyn")}), 0);

  ASSERT_EQ(RunTool({"extract", dir.File("one.tallowyn"), "0", dir.File("back.tga")}), 0);
  EXPECT_EQ(ReadBytes(dir.File("back.tga")), image);
  EXPECT_NE(RunTool({"extract", dir.File("one.tallowyn"), "1", dir.File("none")}), 0);

  ASSERT_EQ(RunTool({"create", dir.File("empty.tallowyn")}), 0);
  EXPECT_EQ(ReadBytes(dir.File("empty.tallowyn")), BuildPack({}));

  // verify catches an image lump that does not decode, and a damaged pack.
  ASSERT_EQ(RunTool({"create", dir.File("bad.tallowyn"), "1:0:" + dir.Write("x", {1, 2, 3})}), 0);
  EXPECT_NE(RunTool({"verify", dir.File("bad.tallowyn")}), 0);
  Bytes cut = ReadBytes(dir.File("one.tallowyn"));
  cut.pop_back();
  EXPECT_NE(RunTool({"verify", dir.Write("cut.tallowyn", cut)}), 0);
  EXPECT_NE(RunTool({"create", dir.File("p"), "1:zero:" + source}), 0);
}

using ShippedPackTest = GLTest;

TEST_F(ShippedPackTest, HoldsTheOverlayAndIntroImages) {
  RESFILE reader;
  ASSERT_TRUE(reader.Open(ShippedPack().c_str())) << ShippedPack();
  ASSERT_GE(reader.header.lumpCount, 6u);
  bool runLength = false;
  for (int slot = 1; slot <= 5; ++slot) {
    EXPECT_EQ(reader.lumps[slot].kind, 1);
    EXPECT_EQ(reader.lumps[slot].alphaMode, 2);
    void* data = nullptr;
    ASSERT_TRUE(reader.LoadData(slot, &data));
    runLength |= static_cast<unsigned char*>(data)[2] == 10;
    delete[] static_cast<char*>(data);
  }
  EXPECT_TRUE(runLength);
  reader.Close();

  AlertRecorder recorder;
  Texture* textures = nullptr;
  int count = 0;
  ASSERT_TRUE(LoadTexturesFromDataFile(ShippedPack().c_str(), &textures, &count));
  EXPECT_TRUE(recorder.alerts.empty());
  const std::pair<uint32_t, uint32_t> sizes[] = {{256, 32}, {256, 64}, {256, 128}, {512, 32}, {512, 32}};
  for (int slot = 1; slot <= 5; ++slot) {
    EXPECT_NE(textures[slot].texID, 0u) << slot;
    EXPECT_EQ(textures[slot].width, sizes[slot - 1].first) << slot;
    EXPECT_EQ(textures[slot].height, sizes[slot - 1].second) << slot;
  }
  EXPECT_EQ(textures[0].texID, 0u);
  delete[] textures;
}

}  // namespace

}  // namespace ambrel
