// Writes XScreenSaver's option file for the hack (its settings dialog) from the
// settings table: ambrel-optionfile > ambrel.xml. Every setting the table
// declares is offered; one without an option there stops the build.
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/Settings.h"

namespace ambrel {
namespace {

std::string Number(int64_t value) { return std::to_string(value); }

// The option that gives value `index` of a menu, as the command line takes it.
std::string MenuArgument(const SettingDeclaration& setting, int index) {
  const OnTheCommandLine& line = setting.commandLine;
  return std::string(line.option) + " " + (line.valueNames ? line.valueNames[index] : Number(index));
}

// The element for one setting, or empty when its declaration cannot be offered.
std::string Element(const SettingDeclaration& setting, const std::string& indent) {
  const InXScreenSaver& xss = setting.xscreensaver;
  if (!xss.label && setting.sheet.control != SheetControlKind::kPopUp) return "";
  const std::string id = xss.id;
  switch (setting.sheet.control) {
    case SheetControlKind::kCheckBox:
      if (!(setting.store.defaultNumber ? setting.commandLine.offOption : setting.commandLine.option)) return "";
      return "<boolean id=\"" + id + "\" _label=\"" + xss.label + "\" " +
             (setting.store.defaultNumber ? std::string("arg-unset=\"") + setting.commandLine.offOption
                                          : std::string("arg-set=\"") + setting.commandLine.option) +
             "\"/>";
    case SheetControlKind::kSlider:
      if (!xss.label || !xss.lowLabel || !xss.highLabel) return "";
      return "<number id=\"" + id + "\" type=\"slider\" arg=\"" + setting.commandLine.option + " %\"\n"
             "          _label=\"" + xss.label + "\" _low-label=\"" + xss.lowLabel + "\" _high-label=\"" +
             xss.highLabel + "\"\n"
             "          low=\"" + Number(setting.sheet.lowest) + "\" high=\"" +
             Number(setting.sheet.highest) + "\" default=\"" + Number(setting.store.defaultNumber) + "\"/>";
    case SheetControlKind::kPopUp: {
      if (!xss.itemIds || !xss.itemLabels) return "";
      std::string select = "<select id=\"" + id + "\">\n";
      for (int index = 0; xss.itemIds[index] && xss.itemLabels[index]; ++index) {
        select += std::string("    <option id=\"") + xss.itemIds[index] + "\" _label=\"" +
                  xss.itemLabels[index] + "\"";
        if (index != setting.store.defaultNumber) select += " arg-set=\"" + MenuArgument(setting, index) + "\"";
        select += "/>\n";
      }
      return select + indent + "</select>";
    }
    case SheetControlKind::kButton:
      return "<file id=\"" + id + "\" _label=\"" + xss.label + "\" arg=\"" + setting.commandLine.option + " %\"/>";
  }
  return "";
}

}  // namespace
}  // namespace ambrel

int main() {
  using namespace ambrel;
  // The dialog's rows, each with its settings in column order.
  std::map<int, std::map<int, const SettingDeclaration*>> rows;
  for (const SettingDeclaration& setting : kSettings) {
    if (!setting.xscreensaver.id || !rows[setting.xscreensaver.row].emplace(setting.xscreensaver.column, &setting).second) {
      std::fprintf(stderr, "ambrel-optionfile: %s has no place of its own in the option file\n", setting.store.key);
      return 1;
    }
  }

  std::string xml =
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n\n"
      "<screensaver name=\"ambrel\" _label=\"Ambrel\" gl=\"yes\">\n\n"
      "  <command arg=\"--root\"/>\n\n";
  for (const auto& [row, settings] : rows) {
    const bool group = settings.size() > 1;
    if (group) xml += "  <hgroup>\n";
    for (const auto& [column, setting] : settings) {
      const std::string indent = group ? "   " : "  ";
      const std::string element = Element(*setting, indent);
      if (element.empty()) {
        std::fprintf(stderr, "ambrel-optionfile: %s cannot be offered in the option file\n", setting->store.key);
        return 1;
      }
      xml += indent + element + (group ? "\n" : "\n\n");
    }
    if (group) xml += "  </hgroup>\n\n";
  }
  // Who draws: not a saved setting, a choice of the hack's command line.
  xml +=
      "  <select id=\"renderer\">\n"
      "    <option id=\"auto\" _label=\"Renderer: automatic (CPU where OpenGL is software)\"/>\n"
      "    <option id=\"gl\" _label=\"Renderer: OpenGL\" arg-set=\"--renderer gl\"/>\n"
      "    <option id=\"cpu\" _label=\"Renderer: CPU\" arg-set=\"--renderer cpu\"/>\n"
      "  </select>\n\n";
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
