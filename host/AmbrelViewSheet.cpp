// The view's configuration sheet: shows the settings in its controls and takes
// them back on save. The controls and the window come from the platform.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/AmbrelView.h"
#include "platform/Alerts.h"
#include "platform/Bundle.h"
#include "platform/SheetControls.h"

namespace ambrel {

namespace {

const char* const kSheetName = "Ambrel";
const char* const kFolderPanelTitle = "Select Folder To Load Random Background Images From";
// The product has no web site: its page is an HTML file, inside a plug-in's own
// resources, else shipped with the documentation, which lies beside the resources
// (share/doc/ambrel next to share/ambrel) in the build tree and when installed.
const char* const kProductPageNames[] = {"ambrel", "../doc/ambrel/ambrel"};
const char* const kProductPageType = "html";

std::vector<std::string> Texts(const char* const* texts) {
  std::vector<std::string> all;
  for (; texts && *texts; ++texts) all.push_back(*texts);
  return all;
}

void Show(SheetControl* control, const SettingDeclaration& setting, const SettingsRecord& record) {
  const StoredAs& store = setting.store;
  switch (setting.sheet.control) {
    case SheetControlKind::kCheckBox:
      control->setState(store.number(record) ? kControlStateOn : kControlStateOff);
      break;
    case SheetControlKind::kSlider:
      control->setIntValue(static_cast<int32_t>(store.number(record)));
      break;
    case SheetControlKind::kPopUp:
      control->selectItemAtIndex(static_cast<int32_t>(store.number(record)));
      break;
    case SheetControlKind::kButton:
      control->setTitle(store.text(record));
      break;
  }
}

void Take(const SheetControl* control, const SettingDeclaration& setting, SettingsRecord* record) {
  const StoredAs& store = setting.store;
  switch (setting.sheet.control) {
    case SheetControlKind::kCheckBox:
      // A mixed check box counts as off.
      store.setNumber(*record, control->state() == kControlStateOn);
      break;
    case SheetControlKind::kSlider:
      store.setNumber(*record, control->intValue());
      break;
    case SheetControlKind::kPopUp:
      store.setNumber(*record, control->indexOfSelectedItem());
      break;
    case SheetControlKind::kButton:
      // The button only ever shows BGPath or a folder already taken into it, so a
      // title too long to hold is refused and the folder kept.
      store.setText(*record, control->title());
      break;
  }
}

}  // namespace

SheetWindow* AmbrelView::configureSheet() {
  if (!configureSheetWindow) {
    SheetOwner owner;
    std::vector<const SettingDeclaration*> rows;
    for (const SettingDeclaration& setting : kSettings) rows.push_back(&setting);
    std::stable_sort(rows.begin(), rows.end(), [](auto* a, auto* b) { return a->sheet.row < b->sheet.row; });
    for (const SettingDeclaration* setting : rows) {
      const OnTheSheet& sheet = setting->sheet;
      owner.outlets.push_back(SheetOutlet{sheet.outlet, &(this->*sheet.field), sheet.control, sheet.label,
                                          sheet.lowest, sheet.highest, Texts(sheet.items),
                                          sheet.sends ? sheet.sends : ""});
    }
    owner.actions = {
        {"configureSheet_save:", [this](SheetControl* sender) { configureSheet_save(sender); }},
        {"configureSheet_cancel:", [this](SheetControl* sender) { configureSheet_cancel(sender); }},
        {"configureSheet_defaults:", [this](SheetControl* sender) { configureSheet_defaults(sender); }},
        {"configureSheet_update:", [this](SheetControl* sender) { configureSheet_update(sender); }},
        {"configureSheet_bgpath:", [this](SheetControl* sender) { configureSheet_bgpath(sender); }},
        {"configureSheet_openwebsite:", [this](SheetControl* sender) { configureSheet_openwebsite(sender); }},
    };
    configureSheetWindow = CurrentSheetServices().loadSheetNamed(kSheetName, owner);
    // A sheet that came without its outlets is no sheet: the view runs on without one.
    if (!configureSheetWindow) {
      for (const SettingDeclaration& setting : kSettings) this->*setting.sheet.field = nullptr;
      return nullptr;
    }
  }

  const SettingsRecord record{MainMonitorOnly, mySettings};
  for (const SettingDeclaration& setting : kSettings) Show(this->*setting.sheet.field, setting, record);
  configureSheet_updatestates();
  return configureSheetWindow.get();
}

SheetControl* AmbrelView::outletNamed(const std::string& name) {
  for (const SettingDeclaration& setting : kSettings)
    if (name == setting.sheet.outlet) return this->*setting.sheet.field;
  return nullptr;
}

void AmbrelView::configureSheet_save(SheetControl*) {
  if (!configureSheetWindow) return;
  SettingsRecord record{MainMonitorOnly, mySettings};
  for (const SettingDeclaration& setting : kSettings) Take(this->*setting.sheet.field, setting, &record);
  MainMonitorOnly = record.mainMonitorOnly;
  mySettings = record.settings;
  storeSettings();
  configureSheetWindow->endSheet();
}

void AmbrelView::configureSheet_cancel(SheetControl*) {
  if (configureSheetWindow) configureSheetWindow->endSheet();
}

void AmbrelView::configureSheet_defaults(SheetControl*) {
  if (!configureSheetWindow) return;
  const SettingsRecord defaults = DefaultSettings();
  for (const SettingDeclaration& setting : kSettings) {
    SheetControl* control = this->*setting.sheet.field;
    // The folder is kept.
    if (&setting == &kBackgroundFolderSetting)
      control->setTitle(mySettings.BGPath);
    else
      Show(control, setting, defaults);
  }
  configureSheet_updatestates();
}

void AmbrelView::configureSheet_update(SheetControl*) { configureSheet_updatestates(); }

void AmbrelView::configureSheet_updatestates() {
  if (!configureSheetWindow) return;
  oBGPath->setEnabled(oBGType->indexOfSelectedItem() == static_cast<int>(BackgroundKind::kFolder));
}

void AmbrelView::configureSheet_bgpath(SheetControl*) {
  if (!configureSheetWindow) return;
  FolderPanel panel;
  panel.title = kFolderPanelTitle;
  panel.startDirectory = mySettings.BGPath;
  panel.allowedFileTypes = {"jpg", "gif", "png"};
  panel.allowsMultipleSelection = false;
  panel.canChooseFiles = false;
  panel.canChooseDirectories = true;
  const std::optional<std::string> chosen = CurrentSheetServices().runFolderPanel(panel);
  if (!chosen) return;
  // Cut short, the path would name some other folder: refuse it and keep the old one.
  if (chosen->size() >= sizeof mySettings.BGPath || std::strlen(chosen->c_str()) != chosen->size()) {
    std::fprintf(stderr, "ambrel: the chosen folder's path does not fit in %zu bytes; the folder stays %s\n",
                 sizeof mySettings.BGPath - 1, mySettings.BGPath);
    return;
  }
  std::memcpy(mySettings.BGPath, chosen->c_str(), chosen->size() + 1);
  oBGPath->setTitle(mySettings.BGPath);
}

void AmbrelView::configureSheet_openwebsite(SheetControl*) {
  std::string page;
  for (const char* name : kProductPageNames)
    if (page.empty()) page = PathForResource(name, kProductPageType);
  if (page.empty()) {
    ShowAlert("About Ambrel", "The page about Ambrel (ambrel.html) is not installed with Ambrel.");
    return;
  }
  // The services say themselves when no browser can show it.
  CurrentSheetServices().openFileInBrowser(page);
}

}  // namespace ambrel
