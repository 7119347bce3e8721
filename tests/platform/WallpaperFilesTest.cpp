// The desktop pictures other desktops and wallpaper setters record, read from
// their own files: what each file says, and nothing at once from a file that is
// missing, empty, binary, huge, a looping link or a FIFO.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "StoreTestSupport.h"
#include "platform/linux/WallpaperFiles.h"

namespace ambrel {

namespace {

std::string Entries(const std::optional<DesktopPicturePreference>& preference) {
  if (!preference) return "none";
  std::string text;
  for (const auto& [key, entry] : preference->entries) text += key + "=" + entry.imageFilePath.value_or("") + "\n";
  return text;
}

class WallpaperFiles : public ConfigHomeTest {
 protected:
  void Write(const std::string& relative, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(root_ + "/" + relative).parent_path());
    WriteWholeFile(root_ + "/" + relative, text);
  }
};

TEST_F(WallpaperFiles, EachReaderFindsWhatItsFileRecords) {
  Write("xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<channel name=\"xfce4-desktop\" version=\"1.0\">\n"
        " <property name=\"backdrop\" type=\"empty\"><property name=\"screen0\" type=\"empty\">\n"
        "  <property name=\"monitor0\" type=\"empty\"><property name=\"workspace0\" type=\"empty\">\n"
        "   <property name=\"last-image\" type=\"string\" value=\"/p/left.jpg\"/></property>\n"
        "   <property name=\"workspace1\" type=\"empty\">\n"
        "   <property name=\"last-image\" type=\"string\" value=\"/p/other-workspace.jpg\"/></property></property>\n"
        "  <property name=\"monitor1\" type=\"empty\"><property name=\"workspace0\" type=\"empty\">\n"
        "   <property name=\"last-image\" type=\"string\" value=\"/p/right.jpg\"/></property></property>\n"
        " </property></property>\n</channel>\n");
  EXPECT_EQ(Entries(XfceWallpapers(root_)), "1=/p/left.jpg\n2=/p/right.jpg\ndefault=/p/left.jpg\n");

  Write("plasma-org.kde.plasma.desktop-appletsrc",
        "[Containments][7]\nlastScreen=1\nplugin=org.kde.plasma.folder\n\n"
        "[Containments][7][Wallpaper][org.kde.image][General]\nImage=file:///p/kde%20two.png\n\n"
        "[Containments][3]\nlastScreen=0\n\n[Containments][3][Wallpaper][org.kde.image][General]\n"
        "Image=/p/kde-one.jpg\n");
  EXPECT_EQ(Entries(KdeWallpapers(root_)), "1=/p/kde-one.jpg\n2=/p/kde two.png\ndefault=/p/kde two.png\n");

  Write(".fehbg", "#!/bin/sh\nfeh --no-fehbg --bg-fill '/p/it'\\''s.jpg' '/p/b.png' \n");
  EXPECT_EQ(Entries(FehWallpapers(root_)), "1=/p/it's.jpg\n2=/p/b.png\ndefault=/p/it's.jpg\n");

  Write("nitrogen/bg-saved.cfg", "[xin_1]\nfile=/p/n2.jpg\nmode=5\n\n[xin_0]\nfile=/p/n1.jpg\n");
  EXPECT_EQ(Entries(NitrogenWallpapers(root_)), "1=/p/n1.jpg\n2=/p/n2.jpg\ndefault=/p/n2.jpg\n");

  Write(".xscreensaver", "grabDesktopImages:\tFalse\nimageDirectory:\t~/Pictures/walls\n");
  EXPECT_EQ(XScreenSaverImageDirectory(root_).value_or("none"), root_ + "/Pictures/walls");
}

TEST_F(WallpaperFiles, BrokenOrHostileFilesGiveNothingAtOnce) {
  const std::vector<std::pair<std::string, std::function<bool()>>> readers = {
      {"xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml", [&] { return XfceWallpapers(root_).has_value(); }},
      {"plasma-org.kde.plasma.desktop-appletsrc", [&] { return KdeWallpapers(root_).has_value(); }},
      {".fehbg", [&] { return FehWallpapers(root_).has_value(); }},
      {"nitrogen/bg-saved.cfg", [&] { return NitrogenWallpapers(root_).has_value(); }},
      {".xscreensaver", [&] { return XScreenSaverImageDirectory(root_).has_value(); }},
  };
  for (const auto& [file, read] : readers) {
    SCOPED_TRACE(file);
    const std::string path = root_ + "/" + file;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(read()) << "missing";
    const std::vector<std::string> contents = {
        "", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
        // A valid line far past any settings file's size.
        "imageDirectory: /p\nfile=/p.jpg\nImage=/p.jpg\nfeh --bg-fill '/p.jpg'\n" + std::string(1100000, '#'),
        // One line as long as a settings file may be, in each reader's brackets.
        "[" + std::string(1000000, '[') + "]\n<" + std::string(40000, '<') + "\n"};
    for (const std::string& content : contents) {
      WriteWholeFile(path, content);
      EXPECT_FALSE(read()) << content.size() << " bytes";
    }
    std::filesystem::remove(path);
    std::filesystem::create_symlink(path, path);  // a link to itself
    EXPECT_FALSE(read()) << "looping link";
    std::filesystem::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    EXPECT_FALSE(read()) << "FIFO";
    std::filesystem::remove(path);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  }
}

}  // namespace

}  // namespace ambrel
