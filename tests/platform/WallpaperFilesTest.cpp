// The desktop pictures other desktops and wallpaper setters record, read from
// their own files: what each file says, and nothing from a file that is missing,
// empty, binary, huge, a looping link or a FIFO, which is never waited on nor read
// past the size a settings file may have.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <thread>

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

// The bytes this thread has read from files and pipes so far.
uint64_t BytesReadByThisThread() {
  std::ifstream in("/proc/thread-self/io");
  std::string name;
  uint64_t bytes = 0;
  in >> name >> bytes;
  return name == "rchar:" ? bytes : 0;
}

struct Reading {
  bool answered = false;  // false: it still waits, past a deadline only a hang reaches
  bool found = false;
  uint64_t bytes = 0;  // read from files to answer
};

// One reader's answer, on a thread of its own so that a reader stuck on a FIFO
// fails the test instead of hanging it.
Reading ReadOnce(const std::function<bool()>& read) {
  auto answer = std::make_shared<std::promise<Reading>>();
  std::future<Reading> future = answer->get_future();
  std::thread([read, answer] {
    Reading reading;
    const uint64_t before = BytesReadByThisThread();
    reading.found = read();
    reading.bytes = BytesReadByThisThread() - before;
    reading.answered = true;
    answer->set_value(reading);
  }).detach();
  if (future.wait_for(std::chrono::seconds(60)) != std::future_status::ready) return {};
  return future.get();
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

TEST_F(WallpaperFiles, BrokenOrHostileFilesGiveNothingAndAreNeitherWaitedOnNorReadPastTheCap) {
  const std::vector<std::pair<std::string, std::function<bool()>>> readers = {
      {"xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml", [&] { return XfceWallpapers(root_).has_value(); }},
      {"plasma-org.kde.plasma.desktop-appletsrc", [&] { return KdeWallpapers(root_).has_value(); }},
      {".fehbg", [&] { return FehWallpapers(root_).has_value(); }},
      {"nitrogen/bg-saved.cfg", [&] { return NitrogenWallpapers(root_).has_value(); }},
      {".xscreensaver", [&] { return XScreenSaverImageDirectory(root_).has_value(); }},
  };
  for (const auto& reader : readers) {
    const std::string& file = reader.first;
    const std::function<bool()>& read = reader.second;
    SCOPED_TRACE(file);
    const std::string path = root_ + "/" + file;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    // Nothing found, an answer, and at most the file's bytes read once (and what
    // the count's own file holds).
    auto expectNothing = [&](const std::string& what, uint64_t mayRead) {
      const Reading reading = ReadOnce(read);
      ASSERT_TRUE(reading.answered) << what << ": still waiting";
      EXPECT_FALSE(reading.found) << what;
      EXPECT_LE(reading.bytes, mayRead + 4096) << what;
    };
    expectNothing("missing", 0);
    const std::vector<std::string> contents = {
        "", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
        // A valid line far past any settings file's size.
        "imageDirectory: /p\nfile=/p.jpg\nImage=/p.jpg\nfeh --bg-fill '/p.jpg'\n" + std::string(1100000, '#'),
        // One line as long as a settings file may be, in each reader's brackets.
        "[" + std::string(1000000, '[') + "]\n<" + std::string(40000, '<') + "\n"};
    for (const std::string& content : contents) {
      WriteWholeFile(path, content);
      expectNothing(std::to_string(content.size()) + " bytes", content.size() <= (1u << 20) ? content.size() : 0);
    }
    std::filesystem::remove(path);
    std::filesystem::create_symlink(path, path);  // a link to itself
    expectNothing("looping link", 0);
    std::filesystem::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    expectNothing("FIFO", 0);
    // A reader stuck opening it would be let go by a writer; the test fails either way.
    if (const int writer = open(path.c_str(), O_WRONLY | O_NONBLOCK); writer >= 0) close(writer);
    std::filesystem::remove(path);
  }
}

}  // namespace

}  // namespace ambrel
