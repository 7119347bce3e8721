#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "ImageTestSupport.h"
#include "image/ResFile.h"

// The reader allocates its directory with new (std::nothrow)[]; watching the
// requests shows whether a hostile count ever reached the allocator.
static size_t largestArrayRequest = 0;

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (size > largestArrayRequest) largestArrayRequest = size;
  try {
    return ::operator new[](size);
  } catch (...) {
    return nullptr;
  }
}

namespace ambrel {

namespace {

const Bytes kTwoPixelTga = TgaHeader(2, 2, 1, 24) + Bytes{0x10, 0x20, 0x30, 0x40, 0x50, 0x60};

// The worked example: header, one 24-byte image lump at 24, directory at 48.
Bytes SeventySixBytePack() { return BuildPack({{1, 0, kTwoPixelTga}}); }

Bytes EmptyPack() { return BuildPack({}); }

class ResFileTest : public ::testing::Test {
 protected:
  ScratchDir dir;
};

TEST_F(ResFileTest, WorkedExamplesOpen) {
  const Bytes pack = SeventySixBytePack();
  ASSERT_EQ(pack.size(), 76u);
  EXPECT_EQ(Bytes(pack.begin() + 16, pack.begin() + 20), (Bytes{0xB3, 0xFF, 0xFF, 0xFF}));

  RESFILE reader;
  ASSERT_TRUE(reader.Open(dir.Write("one.tallowyn", pack).c_str()));
  EXPECT_EQ(reader.fileSize, 76);
  EXPECT_EQ(reader.header.lumpCount, 1u);
  EXPECT_EQ(reader.header.dirOffset, 48u);
  EXPECT_EQ(reader.lumps[0].size, 24u);
  EXPECT_EQ(reader.lumps[0].offset, 24u);
  EXPECT_EQ(reader.lumps[0].kind, 1);
  EXPECT_EQ(reader.lumps[0].alphaMode, 0);
  ASSERT_TRUE(reader.SeekLump(0));
  EXPECT_EQ(reader.file.tellg(), 24);

  void* data = nullptr;
  ASSERT_TRUE(reader.LoadData(0, &data));
  const unsigned char* bytes = static_cast<unsigned char*>(data);
  EXPECT_EQ(Bytes(bytes, bytes + 24), kTwoPixelTga);
  delete[] static_cast<char*>(data);

  const Bytes empty = EmptyPack();
  ASSERT_EQ(empty.size(), 24u);
  EXPECT_EQ(Bytes(empty.begin() + 16, empty.begin() + 20), (Bytes{0xE7, 0xFF, 0xFF, 0xFF}));
  RESFILE emptyReader;
  ASSERT_TRUE(emptyReader.Open(dir.Write("empty.tallowyn", empty).c_str()));
  EXPECT_EQ(emptyReader.header.lumpCount, 0u);
  EXPECT_FALSE(emptyReader.SeekLump(0));
}

TEST_F(ResFileTest, DamagedPacksAreRefused) {
  Bytes longer = EmptyPack();
  longer.push_back(0);
  Bytes shorter = SeventySixBytePack();
  shorter.pop_back();
  Bytes wrongMagic = EmptyPack();
  wrongMagic[3] = 'G';
  Bytes tooShort = EmptyPack();
  tooShort.pop_back();
  // Correct length check, but the one directory entry would end 4 bytes past the end.
  Bytes dirPastEnd = SeventySixBytePack();
  dirPastEnd[20] = 52;

  for (const auto& [name, bytes] :
       std::vector<std::pair<std::string, Bytes>>{{"longer", longer},
                                                   {"shorter", shorter},
                                                   {"magic", wrongMagic},
                                                   {"short", tooShort},
                                                   {"dir", dirPastEnd}}) {
    RESFILE reader;
    EXPECT_FALSE(reader.Open(dir.Write(name, bytes).c_str())) << name;
    EXPECT_FALSE(reader.SeekLump(0)) << name;
    reader.Close();
    reader.Close();
  }

  RESFILE missing;
  EXPECT_FALSE(missing.Open(dir.File("nothing-here").c_str()));
  RESFILE folder;
  EXPECT_FALSE(folder.Open(dir.path().c_str()));
}

TEST_F(ResFileTest, HostileLumpCountIsRefusedBeforeAllocating) {
  Bytes pack = EmptyPack();
  for (int i = 12; i < 16; ++i) pack[i] = 0xFF;  // lumpCount 2^32 - 1
  largestArrayRequest = 0;
  RESFILE reader;
  EXPECT_FALSE(reader.Open(dir.Write("hostile", pack).c_str()));
  EXPECT_LT(largestArrayRequest, 1024u);
  EXPECT_EQ(reader.lumps, nullptr);
  EXPECT_FALSE(reader.file.is_open());
}

TEST_F(ResFileTest, IndicesOutsideTheDirectoryAreRefused) {
  RESFILE reader;
  ASSERT_TRUE(reader.Open(dir.Write("one", SeventySixBytePack()).c_str()));
  void* untouched = &reader;
  for (int index : {-1, 1, 1 << 30}) {
    EXPECT_FALSE(reader.SeekLump(index)) << index;
    EXPECT_FALSE(reader.LoadData(index, &untouched)) << index;
    EXPECT_EQ(untouched, &reader);
  }
  // The refusals leave the stream usable.
  EXPECT_TRUE(reader.SeekLump(0));
  reader.Close();
  EXPECT_FALSE(reader.SeekLump(0));
}

TEST_F(ResFileTest, LoadDataEdges) {
  // Lump 0 is empty; lump 1 claims 1000 bytes from offset 24 in a 80-byte file.
  Bytes pack = BuildPack({{0, 0, {}}, {0, 0, {1, 2, 3, 4}}});
  const size_t entry1 = pack.size() - 28;
  pack[entry1] = 0xE8;  // size 1000
  pack[entry1 + 1] = 0x03;

  RESFILE reader;
  ASSERT_TRUE(reader.Open(dir.Write("edges", pack).c_str()));
  void* data = nullptr;
  ASSERT_TRUE(reader.LoadData(0, &data));
  EXPECT_NE(data, nullptr);
  delete[] static_cast<char*>(data);

  void* untouched = &reader;
  largestArrayRequest = 0;
  EXPECT_FALSE(reader.LoadData(1, &untouched));
  EXPECT_EQ(untouched, &reader);
  EXPECT_LT(largestArrayRequest, 1000u);
  // The failure sticks to the reader, as a short read does.
  EXPECT_FALSE(reader.SeekLump(0));
  EXPECT_FALSE(reader.LoadData(0, &untouched));
}

TEST_F(ResFileTest, ShortHeaderLeavesStreamOpenUntilClose) {
  RESFILE reader;
  EXPECT_FALSE(reader.Open(dir.Write("short", Bytes(10, 'M')).c_str()));
  EXPECT_TRUE(reader.file.is_open());
  reader.Close();
  EXPECT_FALSE(reader.file.is_open());
}

}  // namespace

}  // namespace ambrel
