// Writes XScreenSaver's option file for the hack (its settings dialog) from the
// settings' declarations: ambrel-optionfile > ambrel.xml
#include <cstdio>
#include <string>
#include <vector>

#include "scene/Settings.h"

namespace ambrel {

namespace {

// How the dialog lays the settings out: one per row, or several in a row.
const std::vector<std::vector<const char*>> kRows = {
    {"WaterSpeed"}, {"WaterRes"}, {"DripSpeed"}, {"Lighting", "WantBowl", "MainMonitorOnly"}, {"BGType", "BGRes"},
    {"BGPath"}};

std::string Element(const char* key) {
  const SettingDeclaration* setting = SettingForKey(key);
  return setting && setting->xscreensaver ? FillSettingText(setting->xscreensaver, *setting) : std::string();
}

}  // namespace

}  // namespace ambrel

int main() {
  using namespace ambrel;
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n\n"
      "<screensaver name=\"ambrel\" _label=\"Ambrel\" gl=\"yes\">\n\n"
      "  <command arg=\"--root\"/>\n\n";
  for (const auto& row : kRows) {
    if (row.size() == 1) {
      xml += "  " + Element(row.front()) + "\n\n";
      continue;
    }
    xml += "  <hgroup>\n";
    for (const char* key : row) xml += "   " + Element(key) + "\n";
    xml += "  </hgroup>\n\n";
  }
  // The box nearly every GL hack offers.
  xml += "  <boolean id=\"showfps\" _label=\"Show frame rate\" arg-set=\"-fps\"/>\n\n";
  xml +=
      "  <_description>\n"
      "A sheet of water lies over your screen. Drops fall at random, rings\n"
      "spread, cross the edges and come back from the other side, and the\n"
      "picture underneath wobbles with the ripples while a light circles\n"
      "slowly above the water.\n"
      "\n"
      "What these settings show is what runs, defaults included; Ambrel's\n"
      "own settings window is for its other hosts. A picture folder chosen\n"
      "here shows its pictures unless the desktop picture is chosen as the\n"
      "background.\n"
      "Run \"ambrel --window\" to try it in a window.\n"
      "  </_description>\n"
      "</screensaver>\n";
  return std::fputs(xml.c_str(), stdout) < 0 ? 1 : 0;
}
