#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "StoreTestSupport.h"
#include "platform/DesktopPicture.h"
#include "platform/ScreenSaverDefaults.h"

namespace ambrel {

namespace {

const char* const kGnomeSchema = "/usr/share/glib-2.0/schemas/org.gnome.desktop.background.gschema.xml";

// One pixel, as a PNG: only pictures that decode count.
const std::string kPicture(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00\x00\x01\x08\x02"
    "\x00\x00\x00\x90\x77\x53\xde\x00\x00\x00\x0c\x49\x44\x41\x54\x78\x9c\x63\x50\x68\x78\x00\x00\x02\x44\x01"
    "\x81\x71\xc2\xc6\xb1\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
    69);

// GSettings fixes its schema list and backend the first time it is used in a
// process, so each lookup runs in a fresh child that inherits our environment.
// Returns the preference as "key=path" lines (or "key=" for an entry without a
// path), or "none".
std::string LookUpInChild() {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    alarm(20);
    // What it says about pictures it passes over follows the preference.
    char errors[] = "/tmp/ambrel-desktop-picture-XXXXXX";
    const int errorFd = mkstemp(errors);
    if (errorFd < 0 || dup2(errorFd, STDERR_FILENO) < 0) _exit(1);
    unlink(errors);
    std::string text;
    if (auto preference = CopyDesktopPicturePreference()) {
      for (const auto& [key, entry] : preference->entries) text += key + "=" + entry.imageFilePath.value_or("") + "\n";
    } else {
      text = "none";
    }
    char said[4096];
    const ssize_t length = pread(errorFd, said, sizeof said, 0);
    if (length > 0) text.append(said, size_t(length));
    const ssize_t written = write(fds[1], text.data(), text.size());
    _exit(written == static_cast<ssize_t>(text.size()) ? 0 : 1);
  }
  close(fds[1]);
  std::string text;
  char buffer[512];
  ssize_t got;
  while ((got = read(fds[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(got));
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
  return text;
}

class DesktopPictureTest : public ConfigHomeTest {
 protected:
  void SetUp() override {
    ConfigHomeTest::SetUp();
    backend_.emplace("GSETTINGS_BACKEND", "keyfile");  // reads $XDG_CONFIG_HOME/glib-2.0/settings/keyfile
    home_.emplace("HOME", root_);
    desktop_.emplace("XDG_CURRENT_DESKTOP", nullptr);
  }
  void TearDown() override {
    desktop_.reset();
    home_.reset();
    backend_.reset();
    ConfigHomeTest::TearDown();
  }
  void SetOurPictures(std::initializer_list<std::pair<const char*, const char*>> pictures) {
    auto store = ScreenSaverDefaults::defaultsForModuleWithName("kvAmbrel");
    store->setObject("1.0.4", "version");
    for (const auto& [key, path] : pictures) store->setStringInSection(path, key, "DesktopPictures");
    ASSERT_TRUE(store->synchronize());
  }
  void SetGnome(const std::string& keyfile) {
    const std::string dir = root_ + "/glib-2.0/settings";
    std::filesystem::create_directories(dir);
    WriteWholeFile(dir + "/keyfile", keyfile);
  }
  // A real picture under the test's folder, for GNOME to point at; cut short when
  // `whole` is false.
  std::string GnomeFile(const std::string& name, bool whole = true) {
    std::filesystem::create_directories(root_ + "/gnome");
    const std::string path = root_ + "/gnome/" + name;
    WriteWholeFile(path, whole ? kPicture : kPicture.substr(0, 40));
    return path;
  }
  static std::string Named(const std::string& path, const std::string& why) {
    return "ambrel: cannot show the picture \"" + path + "\": it " + why + "\n";
  }
  static void RequireGnomeSchema() {
    if (access(kGnomeSchema, R_OK) != 0) GTEST_SKIP() << "GNOME desktop schemas are not installed";
  }
  std::optional<ScopedEnv> backend_, home_, desktop_;
};

TEST_F(DesktopPictureTest, OurSectionGivesPerScreenAndDefaultEntries) {
  const std::string left = GnomeFile("left.jpg"), seven = GnomeFile("seven.png"), all = GnomeFile("all.jpg");
  SetOurPictures({{"1", left.c_str()}, {"007", seven.c_str()}, {"default", all.c_str()},
                  {"main", "/pics/ignored.jpg"}, {"2", ""}, {"3", "/pics/missing.jpg"}});
  SetGnome("[org/gnome/desktop/background]\npicture-uri='file:///gnome/wall.jpg'\n");
  // Our own "default" wins over whatever GNOME shows; an entry naming no picture is
  // named and leaves its screen to the default.
  EXPECT_EQ(LookUpInChild(), "1=" + left + "\n2=\n7=" + seven + "\ndefault=" + all + "\n" +
                                 Named("/pics/missing.jpg", "does not exist"));
}

TEST_F(DesktopPictureTest, NoSectionAndNoSchemaGivesNone) {
  const std::string empty = root_ + "/no-schemas";
  ASSERT_TRUE(std::filesystem::create_directory(empty));
  ScopedEnv dataDirs("XDG_DATA_DIRS", empty.c_str());
  ScopedEnv dataHome("XDG_DATA_HOME", empty.c_str());
  ScopedEnv schemaDir("GSETTINGS_SCHEMA_DIR", nullptr);
  EXPECT_EQ(LookUpInChild(), "none");
  // Our section alone still works without GNOME.
  const std::string three = GnomeFile("three.jpg");
  SetOurPictures({{"3", three.c_str()}});
  EXPECT_EQ(LookUpInChild(), "3=" + three + "\n");
}

TEST_F(DesktopPictureTest, GnomePictureBecomesTheDefault) {
  RequireGnomeSchema();
  const std::string two = GnomeFile("two.jpg");
  SetOurPictures({{"2", two.c_str()}});
  const std::string wall = GnomeFile("my wall.jpg");
  SetGnome("[org/gnome/desktop/background]\npicture-uri='file://" + root_ + "/gnome/my%20wall.jpg'\n"
           "picture-uri-dark='file://" + GnomeFile("dark.jpg") + "'\n");
  EXPECT_EQ(LookUpInChild(), "2=" + two + "\ndefault=" + wall + "\n");
}

TEST_F(DesktopPictureTest, AGnomePictureThatIsNotThereGivesNone) {
  RequireGnomeSchema();
  // GNOME's schema names its own default picture, which a desktop without GNOME's
  // backgrounds does not have: water over nothing would be no picture at all.
  SetGnome("[org/gnome/desktop/background]\npicture-uri='file://" + root_ + "/gnome/missing.webp'\n");
  EXPECT_EQ(LookUpInChild(), "none");
}

TEST_F(DesktopPictureTest, DarkSchemeUsesTheDarkPicture) {
  RequireGnomeSchema();
  const std::string dark = GnomeFile("dark.jpg");
  SetGnome("[org/gnome/desktop/background]\npicture-uri='file://" + GnomeFile("light.jpg") + "'\n"
           "picture-uri-dark='file://" + dark + "'\n\n"
           "[org/gnome/desktop/interface]\ncolor-scheme='prefer-dark'\n");
  EXPECT_EQ(LookUpInChild(), "default=" + dark + "\n");
}

TEST_F(DesktopPictureTest, OnlyLocalFileUrisCount) {
  RequireGnomeSchema();
  for (const char* uri : {"https://example.com/wall.jpg", "file://otherhost/wall.jpg", "not a uri", ""}) {
    SCOPED_TRACE(uri);
    SetGnome(std::string("[org/gnome/desktop/background]\npicture-uri='") + uri + "'\n");
    EXPECT_EQ(LookUpInChild(), "none");
  }
  const std::string wall = GnomeFile("wall.jpg");
  SetGnome("[org/gnome/desktop/background]\npicture-uri='file://localhost" + wall + "'\n");
  EXPECT_EQ(LookUpInChild(), "default=" + wall + "\n");
}

TEST_F(DesktopPictureTest, TheRunningDesktopsPictureComesFirstThenASetterThenXScreenSaversFolder) {
  RequireGnomeSchema();
  SetGnome("[org/gnome/desktop/background]\npicture-uri='file://" + GnomeFile("gnome.jpg") + "'\n");
  const std::string xfce = GnomeFile("xfce.jpg"), feh = GnomeFile("feh.jpg");
  std::filesystem::create_directories(root_ + "/xfce4/xfconf/xfce-perchannel-xml");
  WriteWholeFile(root_ + "/xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml",
                 "<channel name=\"xfce4-desktop\"><property name=\"backdrop\"><property name=\"screen0\">"
                 "<property name=\"monitorVirtual-1\"><property name=\"workspace0\">"
                 "<property name=\"last-image\" type=\"string\" value=\"" + xfce + "\"/>"
                 "</property></property></property></property></channel>");
  WriteWholeFile(root_ + "/.fehbg", "#!/bin/sh\nfeh --no-fehbg --bg-scale '" + feh + "'\n");
  {
    ScopedEnv desktop("XDG_CURRENT_DESKTOP", "XFCE");
    EXPECT_EQ(LookUpInChild(), "default=" + xfce + "\n");
  }
  EXPECT_EQ(LookUpInChild(), "1=" + feh + "\ndefault=" + feh + "\n") << "a window manager's setter";
  {
    ScopedEnv desktop("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    EXPECT_EQ(LookUpInChild(), "default=" + root_ + "/gnome/gnome.jpg\n");
  }
  // What a source names but cannot be shown is named, and the next source asked:
  // a cut-short picture from feh, GNOME's picture-uri on a file that is not one,
  // our own default on a missing file.
  GnomeFile("feh.jpg", false);
  SetGnome("[org/gnome/desktop/background]\npicture-uri='file:///proc/self/environ'\n");
  SetOurPictures({{"default", "/pics/missing.jpg"}});
  EXPECT_EQ(LookUpInChild(), "default=" + xfce + "\n" + Named("/pics/missing.jpg", "does not exist") +
                                 Named(feh, "is damaged") + Named("/proc/self/environ", "is empty"));
  // Nothing the desktops name is on disk: XScreenSaver's folder of pictures.
  std::filesystem::remove(xfce);
  std::filesystem::remove(feh);
  std::filesystem::remove(root_ + "/gnome/gnome.jpg");
  SetGnome("[org/gnome/desktop/background]\npicture-uri='file://" + root_ + "/gnome/gnome.jpg'\n");
  std::filesystem::remove(ScreenSaverDefaults::defaultsForModuleWithName("kvAmbrel")->path());
  std::filesystem::create_directories(root_ + "/walls");
  WriteWholeFile(root_ + "/.xscreensaver", "imageDirectory: " + root_ + "/walls\n");
  EXPECT_EQ(LookUpInChild(), "default=" + root_ + "/walls\n");
}

// In a sway session sway's own "output * bg FILE" is the default, read from its
// configuration file as sway finds it; colours, other outputs and missing files give
// nothing, and our own default still wins.
TEST_F(DesktopPictureTest, SwaysOutputBackgroundBecomesTheDefaultInASwaySession) {
  const std::string empty = root_ + "/no-schemas";
  ASSERT_TRUE(std::filesystem::create_directory(empty));
  ScopedEnv dataDirs("XDG_DATA_DIRS", empty.c_str());
  ScopedEnv dataHome("XDG_DATA_HOME", empty.c_str());
  ScopedEnv schemaDir("GSETTINGS_SCHEMA_DIR", nullptr);
  ScopedEnv home("HOME", root_.c_str());
  std::filesystem::create_directories(root_ + "/sway");
  const std::string wall = GnomeFile("my wall.png");
  WriteWholeFile(root_ + "/sway/config",
                 "# output * bg /commented/out.png fill\n"
                 "output * bg #203040 solid_color\n"
                 "output * mode 1920x1080 bg \"~/gnome/my wall.png\" fill\n"
                 "output HDMI-A-1 bg /other/output.png fit\n");
  {
    ScopedEnv noSway("SWAYSOCK", nullptr);
    EXPECT_EQ(LookUpInChild(), "none");
  }
  ScopedEnv sway("SWAYSOCK", (root_ + "/sway-ipc.sock").c_str());
  EXPECT_EQ(LookUpInChild(), "default=" + wall + "\n");
  WriteWholeFile(root_ + "/sway/config", "output * {\n  mode 1280x720\n  bg \"${HOME}/gnome/my wall.png\" fill\n}\n");
  EXPECT_EQ(LookUpInChild(), "default=" + wall + "\n");
  for (const char* config : {"output * bg ~/gnome/missing.png fill\n",
                             "output * bg ~/gnome/my\\ wall.png fill\noutput * bg #000000 solid_color\n"}) {
    WriteWholeFile(root_ + "/sway/config", config);
    EXPECT_EQ(LookUpInChild(), "none") << config;
  }
  // The common idiom: a variable set once, used by "output * bg".
  WriteWholeFile(root_ + "/sway/config", "set $pictures ~/gnome\nset $wall \"$pictures/my wall.png\"\n"
                                         "output * bg $wall fill\n");
  EXPECT_EQ(LookUpInChild(), "default=" + wall + "\n");
  const std::string cut = GnomeFile("cut.png", false);
  WriteWholeFile(root_ + "/sway/config", "output * bg " + cut + " fill\n");
  EXPECT_EQ(LookUpInChild(), "none" + Named(cut, "is damaged"));
  const std::string ours = GnomeFile("ours.jpg");
  SetOurPictures({{"default", ours.c_str()}});
  WriteWholeFile(root_ + "/sway/config", "output * bg '" + wall + "' fill\n");
  EXPECT_EQ(LookUpInChild(), "default=" + ours + "\n");
}

}  // namespace

}  // namespace ambrel
