// The settings on the command line: they override the store for one run
// without writing it, and XScreenSaver's settings dialog can only produce options
// the program takes.
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <regex>

#include "AmbrelProgram.h"
#include "water/Water.h"

namespace ambrel {

namespace {

class AmbrelSettingsTest : public AmbrelProgramTest {
 protected:
  void WriteStore(const std::string& text) {
    ASSERT_EQ(mkdir((config + "/ambrel").c_str(), 0700), 0);
    ASSERT_TRUE(WriteFile(StorePath(), text));
  }
  // "Key value" lines of --print-settings.
  std::map<std::string, std::string> Printed(std::vector<std::string> args) {
    args.push_back("--print-settings");
    Outcome run = Ambrel(args);
    EXPECT_EQ(run.status, 0) << run.err;
    std::map<std::string, std::string> values;
    std::regex line("^(\\w+) ?(.*)$", std::regex::multiline);
    for (auto it = std::sregex_iterator(run.out.begin(), run.out.end(), line); it != std::sregex_iterator(); ++it)
      values[(*it)[1]] = (*it)[2];
    return values;
  }
};

const char* const kStore =
    "[kvAmbrel]\n"
    "version=1.0.4\n"
    "MainMonitorOnly=true\n"
    "WaterSpeed=300\n"
    "WaterRes=5\n"
    "DripSpeed=40\n"
    "Lighting=false\n"
    "WantBowl=false\n"
    "BGType=2\n"
    "BGPath=/srv/pictures\n"
    "BGRes=0\n"
    "Overlay=false\n";

TEST_F(AmbrelSettingsTest, CommandLineValuesOverrideTheStoreWithoutWritingIt) {
  WriteStore(kStore);
  const std::map<std::string, std::string> stored = {
      {"MainMonitorOnly", "true"}, {"WaterSpeed", "300"}, {"WaterRes", "5"}, {"DripSpeed", "40"},
      {"Lighting", "false"},       {"WantBowl", "false"}, {"BGType", "2"},   {"BGPath", "/srv/pictures"},
      {"BGRes", "0"},              {"Overlay", "false"}};
  EXPECT_EQ(Printed({"--window"}), stored);
  // xsecurelock's start, "-root" alone, has no dialog behind it; anything else a
  // hack is given is XScreenSaver's programs line, where a missing option is at
  // its default.
  EXPECT_EQ(Printed({"-root"}), stored);
  EXPECT_EQ(Printed({"-root", "-fps"})["WaterSpeed"], "100");
  EXPECT_EQ(Printed({"--root"})["BGType"], "0");

  const std::map<std::string, std::string> overridden = {
      {"MainMonitorOnly", "false"}, {"WaterSpeed", "1190"}, {"WaterRes", "8"},    {"DripSpeed", "1"},
      {"Lighting", "true"},         {"WantBowl", "true"},   {"BGType", "1"},      {"BGPath", "/srv/pictures"},
      {"BGRes", "2"},               {"Overlay", "true"}};
  EXPECT_EQ(Printed({"--window", "--all-monitors", "--water-speed", "1190", "--water-res", "8", "--drip-speed", "1",
                     "--lighting", "--bowl", "--background-kind", "desktop", "--detail", "2", "--overlay"}),
            overridden);
  // A folder on the command line implies the folder kind, unless a kind is named.
  EXPECT_EQ(Printed({"--window", "--background-kind", "0", "--folder", "/tmp"})["BGType"], "0");
  std::map<std::string, std::string> folder = Printed({"--preview", "--background-kind", "capture", "--folder=/tmp"});
  EXPECT_EQ(folder["BGType"], "0");
  EXPECT_EQ(folder["BGPath"], "/tmp");
  EXPECT_EQ(Printed({"--window", "--folder", "/tmp"})["BGType"], "2");
  EXPECT_EQ(ReadFile(StorePath()), kStore);

  // Values the scene does not take are printed as the ones it uses instead.
  ASSERT_TRUE(WriteFile(StorePath(), "[kvAmbrel]\nversion=1.0.4\nWaterSpeed=5\nWaterRes=12\nDripSpeed=40\n"));
  std::map<std::string, std::string> held = Printed({"--window"});
  EXPECT_EQ(held["WaterSpeed"], "100");
  EXPECT_EQ(held["WaterRes"], "6");
  EXPECT_EQ(held["DripSpeed"], "40");
  EXPECT_EQ(Printed({"--window", "--water-speed", "100000"})["WaterSpeed"], "1190");
}

TEST_F(AmbrelSettingsTest, ARenderStartsFromTheDefaultsNotTheStore) {
  WriteStore(kStore);
  const std::map<std::string, std::string> defaults = {
      {"MainMonitorOnly", "false"}, {"WaterSpeed", "100"}, {"WaterRes", "6"}, {"DripSpeed", "250"},
      {"Lighting", "true"},         {"WantBowl", "true"},  {"BGType", "1"},   {"BGPath", ""},
      {"BGRes", "1"},               {"Overlay", "true"}};
  EXPECT_EQ(Printed({"--render"}), defaults);
  EXPECT_EQ(Printed({"--render", "--no-bowl"})["WantBowl"], "false");
  EXPECT_EQ(Printed({"--render", "--no-overlay"})["Overlay"], "false");
  EXPECT_EQ(ReadFile(StorePath()), kStore);
}

TEST_F(AmbrelSettingsTest, TheDefaultFolderIsTheUsersPicturesFolder) {
  EXPECT_EQ(Printed({"--window"})["BGPath"], config + "/Pictures");
  // Written by xdg-user-dirs; HOME is the scratch config folder here.
  ASSERT_TRUE(WriteFile(config + "/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n"));
  EXPECT_EQ(Printed({"--window"})["BGPath"], config + "/Bilder");
}

// OpenGL is loaded by the first call that needs it: a run that draws nothing, or
// draws on the processor, loads no GL, GLX, EGL or GLU library (the loader's own
// log of what it loads).
TEST_F(AmbrelSettingsTest, ARunThatDrawsNothingOrOnTheProcessorLoadsNoOpenGLLibrary) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--print-settings"}, std::vector<std::string>{"--window", "--print-settings"},
        std::vector<std::string>{"--render", "--renderer", "cpu", "--size", "64x48", "--frames", "3"}}) {
    SCOPED_TRACE(testing::PrintToString(args));
    Outcome run = Ambrel(args, {"LD_DEBUG=libs"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::set<std::string> loaded;
    std::regex init("calling init: (\\S+)");
    for (auto it = std::sregex_iterator(run.err.begin(), run.err.end(), init); it != std::sregex_iterator(); ++it)
      loaded.insert((*it)[1]);
    ASSERT_TRUE(std::any_of(loaded.begin(), loaded.end(),
                            [](const std::string& path) { return path.find("/libepoxy.so") != std::string::npos; }))
        << "no record of the libraries loaded: " << run.err.substr(0, 2000);
    for (const std::string& path : loaded)
      EXPECT_FALSE(std::regex_search(path, std::regex("/lib(GL|GLX|GLU|EGL|OpenGL|GLdispatch)[._]"))) << path;
  }
}

struct XmlOption {
  std::string tag;
  std::map<std::string, std::string> attributes;
};

std::vector<XmlOption> OptionsOf(const std::string& xml) {
  std::vector<XmlOption> options;
  std::regex element("<(number|boolean|option|file|string|command)\\b([^>]*)>");
  std::regex attribute("([\\w-]+)=\"([^\"]*)\"");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), element); it != std::sregex_iterator(); ++it) {
    XmlOption option{(*it)[1], {}};
    const std::string attributes = (*it)[2];
    for (auto a = std::sregex_iterator(attributes.begin(), attributes.end(), attribute); a != std::sregex_iterator();
         ++a)
      option.attributes[(*a)[1]] = (*a)[2];
    options.push_back(option);
  }
  return options;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::regex word("\\S+");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), word); it != std::sregex_iterator(); ++it)
    words.push_back(it->str());
  return words;
}

TEST(XScreenSaverOptions, TheOptionFileIsWellFormed) {
  ChildProcess xmllint;
  ASSERT_TRUE(xmllint.Start(XMLLINT, {"--noout", AMBREL_XSCREENSAVER_XML}, {}));
  EXPECT_EQ(xmllint.Wait(60), 0) << xmllint.errors();
}

TEST_F(AmbrelSettingsTest, EveryOptionTheSettingsDialogWritesIsTaken) {
  const std::vector<XmlOption> options = OptionsOf(ReadFile(AMBREL_XSCREENSAVER_XML));
  const std::map<std::string, std::string> keyOf = {
      {"--water-speed", "WaterSpeed"}, {"--water-res", "WaterRes"}, {"--drip-speed", "DripSpeed"}};
  std::set<std::string> seen;
  std::vector<std::string> everything = {"--root"};
  for (const XmlOption& option : options) {
    for (const char* kind : {"arg", "arg-set", "arg-unset"}) {
      auto found = option.attributes.find(kind);
      if (found == option.attributes.end()) continue;
      std::vector<std::string> values = {""};
      if (option.tag == "number") {
        const double low = std::stod(option.attributes.at("low")), high = std::stod(option.attributes.at("high"));
        const double fallback = std::stod(option.attributes.at("default"));
        EXPECT_LE(low, fallback);
        EXPECT_LE(fallback, high);
        values = {option.attributes.at("low"), option.attributes.at("default"), option.attributes.at("high")};
      } else if (option.tag == "file" || option.tag == "string") {
        values = {dir};
      }
      for (const std::string& value : values) {
        std::string text = found->second;
        if (size_t percent = text.find('%'); percent != std::string::npos) text.replace(percent, 1, value);
        SCOPED_TRACE(text);
        std::vector<std::string> args = Words(text);
        seen.insert(args.front());
        if (option.tag == "command") continue;
        everything.insert(everything.end(), args.begin(), args.end());
        args.insert(args.begin(), "--root");
        std::map<std::string, std::string> printed = Printed(args);
        EXPECT_EQ(printed.size(), 10u);
        if (keyOf.count(args[1])) {
          EXPECT_EQ(printed[keyOf.at(args[1])], value);
        }
      }
    }
  }
  for (const char* option : {"--root", "--water-speed", "--water-res", "--drip-speed", "--no-lighting", "--no-bowl",
                             "--main-monitor-only", "--background-kind", "--detail", "--folder", "--no-overlay",
                             "--renderer"})
    EXPECT_TRUE(seen.count(option)) << option << " is missing from the option file";

  // The fastest water the dialog offers is the fastest that stays steady.
  for (const XmlOption& option : options)
    if (option.attributes.count("arg") && option.attributes.at("arg") == "--water-speed %") {
      EXPECT_EQ(std::stod(option.attributes.at("high")), std::round(kMaxStableWaterSpeed * 100));
    }

  // All of them at once, in a real render.
  everything.erase(everything.begin());
  for (const char* extra : {"--render", "--frames", "2", "--size", "24x16"}) everything.push_back(extra);
  Outcome run = Ambrel(everything);
  EXPECT_EQ(run.status, 0) << run.err;
}

}  // namespace

}  // namespace ambrel
