#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include <cstdint>
#include <filesystem>
#include <string>

#include "StoreTestSupport.h"
#include "platform/ScreenSaverDefaults.h"

namespace ambrel {

namespace {

using Store = ScreenSaverDefaults;
namespace fs = std::filesystem;

class ScreenSaverDefaultsTest : public ConfigHomeTest {
 protected:
  std::string StorePath() const { return storeDir_ + "/kvAmbrel.conf"; }
  void PlantStoreFile(const std::string& data) {
    fs::create_directories(storeDir_);
    WriteWholeFile(StorePath(), data);
  }
  static void ExpectEmpty(const Store& store) {
    EXPECT_FALSE(store.stringForKey("version"));
    EXPECT_FALSE(store.boolForKey("Lighting"));
    EXPECT_EQ(store.integerForKey("WaterSpeed"), 0);
  }
};

TEST_F(ScreenSaverDefaultsTest, SynchronizedValuesReachLaterStores) {
  auto store = Store::defaultsForModuleWithName("kvAmbrel");
  EXPECT_EQ(store->path(), StorePath());
  ExpectEmpty(*store);
  const std::string oddPath = " /library/Desktop Pictures/\twith\\odd\nbytes \xe9\xff";  // not UTF-8
  store->setObject("1.0.4", "version");
  store->setObject(oddPath.c_str(), "BGPath");
  store->setBool(true, "Lighting");
  store->setBool(false, "WantBowl");
  store->setInteger(INT64_MIN, "WaterSpeed");
  store->setInteger(INT64_MAX, "DripSpeed");
  // Nothing reaches other stores before synchronize.
  EXPECT_FALSE(Store::defaultsForModuleWithName("kvAmbrel")->stringForKey("version"));
  ASSERT_TRUE(store->synchronize());

  auto later = Store::defaultsForModuleWithName("kvAmbrel");
  EXPECT_EQ(later->stringForKey("version"), "1.0.4");
  EXPECT_EQ(later->stringForKey("BGPath"), oddPath);
  EXPECT_TRUE(later->boolForKey("Lighting"));
  EXPECT_FALSE(later->boolForKey("WantBowl"));
  EXPECT_EQ(later->integerForKey("WaterSpeed"), INT64_MIN);
  EXPECT_EQ(later->integerForKey("DripSpeed"), INT64_MAX);
  EXPECT_EQ(Store::defaultsForModuleWithName("other")->integerForKey("DripSpeed"), 0);

  const std::string text = ReadWholeFile(StorePath());
  for (const char* line : {"[kvAmbrel]\n", "Lighting=true\n", "WantBowl=false\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  struct stat info;
  ASSERT_EQ(stat(storeDir_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  // Written through a temporary file and renamed: nothing else is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(storeDir_), fs::directory_iterator()), 1);

  later->setObject(nullptr, "BGPath");
  EXPECT_FALSE(later->stringForKey("BGPath"));
}

TEST_F(ScreenSaverDefaultsTest, WrongTypesAndUnusableNamesReadAsAbsent) {
  PlantStoreFile(
      "[kvAmbrel]\nWaterSpeed=fast\nWaterRes=12abc\nLighting=maybe\nWantBowl=1\nMainMonitorOnly=5\n"
      "BGRes=0\nBGPath=bad\\qescape\nversion=1.0.4\n");
  auto store = Store::defaultsForModuleWithName("kvAmbrel");
  EXPECT_EQ(store->integerForKey("WaterSpeed"), 0);
  EXPECT_EQ(store->integerForKey("WaterRes"), 0);
  EXPECT_FALSE(store->boolForKey("Lighting"));
  EXPECT_TRUE(store->boolForKey("WantBowl"));
  EXPECT_TRUE(store->boolForKey("MainMonitorOnly"));  // a non-zero number counts as true
  EXPECT_FALSE(store->boolForKey("BGRes"));
  EXPECT_FALSE(store->stringForKey("BGPath"));
  EXPECT_EQ(store->stringForKey("version"), "1.0.4");
  // Names the file format cannot hold are refused rather than written broken.
  for (const char* bad : {"", "a=b", "[x]", "line\nbreak", " padded", static_cast<const char*>(nullptr)}) {
    store->setInteger(3, bad);
    EXPECT_EQ(store->integerForKey(bad), 0);
  }
}

TEST_F(ScreenSaverDefaultsTest, BrokenFilesReadEmptyAndAreRewrittenWhole) {
  const std::string garbage("\x00\xff\xfe[kvAmbrel\x01\n=\n\x80\x81", 14);
  for (const std::string& broken : {std::string(), std::string("[kvAmb"), garbage,
                                    std::string("WaterSpeed=5\n[kvAmbrel]\n"), std::string(2 << 20, '#')}) {
    SCOPED_TRACE(broken.substr(0, 20));
    PlantStoreFile(broken);
    auto store = Store::defaultsForModuleWithName("kvAmbrel");
    ExpectEmpty(*store);
    store->setInteger(42, "WaterSpeed");
    ASSERT_TRUE(store->synchronize());
    EXPECT_EQ(Store::defaultsForModuleWithName("kvAmbrel")->integerForKey("WaterSpeed"), 42);
  }
  PlantStoreFile("[kvAmbrel]\nWaterSpeed=1");  // no final newline: still fine
  EXPECT_EQ(Store::defaultsForModuleWithName("kvAmbrel")->integerForKey("WaterSpeed"), 1);
}

TEST_F(ScreenSaverDefaultsTest, AKeyNamedTwiceKeepsTheValueReadAndStaysRemoved) {
  PlantStoreFile("[kvAmbrel]\nversion=0.9\nWaterSpeed=7\nversion=1.0.4\n[DesktopPictures]\ndefault=/a\ndefault=/b\n");
  auto store = Store::defaultsForModuleWithName("kvAmbrel");
  EXPECT_EQ(store->stringForKey("version").value_or(""), "1.0.4");
  store->setObject(nullptr, "version");
  store->setStringInSection(nullptr, "default", "DesktopPictures");
  ASSERT_TRUE(store->synchronize());
  auto reopened = Store::defaultsForModuleWithName("kvAmbrel");
  EXPECT_FALSE(reopened->stringForKey("version"));
  EXPECT_TRUE(reopened->stringsInSection("DesktopPictures").empty());
  EXPECT_EQ(reopened->integerForKey("WaterSpeed"), 7);
}

TEST_F(ScreenSaverDefaultsTest, StrangeThingsAtThePathDoNotHang) {
  fs::create_directories(storeDir_);
  ASSERT_EQ(mkfifo(StorePath().c_str(), 0600), 0);
  ExpectEmpty(*Store::defaultsForModuleWithName("kvAmbrel"));
  fs::remove(StorePath());
  fs::create_directory(StorePath());
  auto store = Store::defaultsForModuleWithName("kvAmbrel");
  ExpectEmpty(*store);
  store->keepFileBeforeReset("is reset");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(store->synchronize());  // a directory cannot be replaced by the store
  const std::string said = testing::internal::GetCapturedStderr();
  // Nor kept aside, and the message gives the reason the link failed, not a later one.
  EXPECT_NE(said.find("cannot be kept as " + StorePath() + ".bad: " + std::strerror(EPERM)), std::string::npos)
      << said;
}

TEST_F(ScreenSaverDefaultsTest, UnwritableFolderFailsOnceLoudlyAndKeepsValues) {
  const std::string blocker = root_ + "/not-a-folder";
  WriteWholeFile(blocker, "x");
  ScopedEnv home("XDG_CONFIG_HOME", blocker.c_str());
  auto store = Store::defaultsForModuleWithName("kvAmbrel");
  store->setInteger(100, "WaterSpeed");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(store->synchronize());
  EXPECT_FALSE(store->synchronize());
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find(store->path()), std::string::npos);
  EXPECT_EQ(said.find('\n'), said.size() - 1) << said;  // exactly one line
  EXPECT_EQ(store->integerForKey("WaterSpeed"), 100);
}

// A reset keeps the file it read aside; two runs that reset the same file (one
// hack per monitor) keep it once, never the defaults the first one wrote over it,
// and a later file kept aside does not cost the user's.
TEST_F(ScreenSaverDefaultsTest, TheFileKeptAsideIsTheOneReadAndOlderOnesStay) {
  const std::string users = "[kvAmbrel]\nversion=0.9\nWaterSpeed=300\nBGPath=/srv/mine\n";
  PlantStoreFile(users);
  auto first = Store::defaultsForModuleWithName("kvAmbrel");
  auto second = Store::defaultsForModuleWithName("kvAmbrel");
  testing::internal::CaptureStderr();
  for (Store* store : {first.get(), second.get()}) {
    store->keepFileBeforeReset("is reset");
    store->setObject("1.0.4", "version");
    store->setInteger(100, "WaterSpeed");
    EXPECT_TRUE(store->synchronize());
  }
  const std::string said = testing::internal::GetCapturedStderr();
  const std::string defaults = ReadWholeFile(StorePath());
  EXPECT_EQ(ReadWholeFile(StorePath() + ".bad"), users) << said;

  // A typo in the defaults, then a save: both files kept aside stay.
  WriteWholeFile(StorePath(), defaults + "Water Res 5\n");
  testing::internal::CaptureStderr();
  auto typo = Store::defaultsForModuleWithName("kvAmbrel");
  ASSERT_TRUE(typo->synchronize());
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(ReadWholeFile(StorePath() + ".bad"), defaults + "Water Res 5\n");
  EXPECT_EQ(ReadWholeFile(StorePath() + ".bad.1"), users);
}

// Dotfile managers link the store from elsewhere: the link stays, the file it
// leads to is replaced whole, and what is kept aside sits beside that file.
TEST_F(ScreenSaverDefaultsTest, ALinkedStoreStaysALink) {
  const std::string dotfiles = root_ + "/dotfiles", target = dotfiles + "/ambrel.conf";
  fs::create_directories(dotfiles);
  fs::create_directories(storeDir_);
  const std::string older = "[kvAmbrel]\nversion=0.9\n";
  WriteWholeFile(target, older);
  fs::create_symlink("../dotfiles/ambrel.conf", StorePath());
  auto store = Store::defaultsForModuleWithName("kvAmbrel");
  store->keepFileBeforeReset("is reset");
  store->setObject("1.0.4", "version");
  testing::internal::CaptureStderr();
  ASSERT_TRUE(store->synchronize());
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("kept as " + target + ".bad"), std::string::npos) << said;
  EXPECT_EQ(ReadWholeFile(target + ".bad"), older);
  store->setInteger(7, "WaterSpeed");
  ASSERT_TRUE(store->synchronize());
  EXPECT_TRUE(fs::is_symlink(StorePath()));
  EXPECT_EQ(Store::defaultsForModuleWithName("kvAmbrel")->integerForKey("WaterSpeed"), 7);
  EXPECT_NE(ReadWholeFile(target).find("WaterSpeed=7"), std::string::npos);
  EXPECT_EQ(std::distance(fs::directory_iterator(storeDir_), fs::directory_iterator()), 1);
}

TEST_F(ScreenSaverDefaultsTest, WhereTheStoreLives) {
  EXPECT_EQ(Store::defaultsForModuleWithName("../../etc/passwd")->path(), storeDir_ + "/_._.._etc_passwd.conf");
  EXPECT_EQ(Store::defaultsForModuleWithName(nullptr)->path(), storeDir_ + "/default.conf");
  ScopedEnv home("HOME", root_.c_str());
  const std::string fallback = root_ + "/.config/ambrel/kvAmbrel.conf";
  {
    ScopedEnv relative("XDG_CONFIG_HOME", "relative/dir");  // must be ignored
    EXPECT_EQ(Store::defaultsForModuleWithName("kvAmbrel")->path(), fallback);
  }
  ScopedEnv unset("XDG_CONFIG_HOME", nullptr);
  EXPECT_EQ(Store::defaultsForModuleWithName("kvAmbrel")->path(), fallback);
  // A fresh home gets its config folder; a home or config folder that is not
  // there is not made up, only our own folder inside one that is.
  ASSERT_TRUE(Store::defaultsForModuleWithName("kvAmbrel")->synchronize());
  EXPECT_TRUE(fs::is_regular_file(fallback));
  testing::internal::CaptureStderr();
  {
    ScopedEnv missingHome("HOME", root_ + "/gone/home");
    EXPECT_FALSE(Store::defaultsForModuleWithName("kvAmbrel")->synchronize());
    ScopedEnv missingConfig("XDG_CONFIG_HOME", root_ + "/gone/config");
    EXPECT_FALSE(Store::defaultsForModuleWithName("kvAmbrel")->synchronize());
  }
  testing::internal::GetCapturedStderr();
  EXPECT_FALSE(fs::exists(root_ + "/gone"));
}

TEST_F(ScreenSaverDefaultsTest, SectionsOfOurOwnSitBesideTheModuleKeys) {
  {
    auto store = Store::defaultsForModuleWithName("kvAmbrel");
    store->setInteger(6, "WaterRes");
    store->setStringInSection("/pics/one.jpg", "1", "DesktopPictures");
    store->setStringInSection("/pics/all.png", "default", "DesktopPictures");
    store->setStringInSection("/nope", "WaterRes", "kvAmbrel");  // the module's group is not a section
    ASSERT_TRUE(store->synchronize());
  }
  auto store = Store::defaultsForModuleWithName("kvAmbrel");
  const std::map<std::string, std::string> expected = {{"1", "/pics/one.jpg"}, {"default", "/pics/all.png"}};
  EXPECT_EQ(store->stringsInSection("DesktopPictures"), expected);
  EXPECT_EQ(store->integerForKey("WaterRes"), 6);
  EXPECT_FALSE(store->stringForKey("default"));
  EXPECT_TRUE(store->stringsInSection("kvAmbrel").empty());
  EXPECT_TRUE(store->stringsInSection("Missing").empty());
}

}  // namespace

}  // namespace ambrel
