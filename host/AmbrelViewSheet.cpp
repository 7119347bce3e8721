// The view's configuration sheet: shows the settings in its controls and takes
// them back on save. The controls and the window come from the platform.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/AmbrelView.h"
#include "platform/Bundle.h"
#include "platform/SheetControls.h"

namespace {

const char* const kSheetName = "Ambrel";
const char* const kFolderPanelTitle = "Select Folder To Load Random Background Images From";
// The product has no web site: its page is an HTML file shipped with the
// documentation, which lies beside the resources (share/doc/ambrel next to
// share/ambrel) in the build tree and when installed.
const char* const kProductPageName = "../doc/ambrel/ambrel";
const char* const kProductPageType = "html";

const int kDefaultWaterSpeed = 100;
const int kDefaultWaterRes = 6;
const int kDefaultDripSpeed = 250;
const int kDefaultBGType = 0;
const int kDefaultBGRes = 1;
const int kFolderBGType = 2;

int StateOf(bool on) { return on ? kControlStateOn : kControlStateOff; }

// A mixed check box counts as off.
bool IsOn(const SheetControl* checkBox) { return checkBox->state() == kControlStateOn; }

}  // namespace

SheetWindow* AmbrelView::configureSheet() {
  if (!configureSheetWindow) {
    SheetOwner owner;
    owner.outlets = {{"oMainMonitorOnly", &oMainMonitorOnly}, {"oLighting", &oLighting}, {"oWantBowl", &oWantBowl},
                     {"oWaterSpeed", &oWaterSpeed},           {"oWaterRes", &oWaterRes}, {"oDripSpeed", &oDripSpeed},
                     {"oBGType", &oBGType},                   {"oBGPath", &oBGPath},     {"oBGRes", &oBGRes}};
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
      oMainMonitorOnly = oLighting = oWantBowl = oWaterSpeed = oWaterRes = oDripSpeed = oBGType = oBGPath = oBGRes =
          nullptr;
      return nullptr;
    }
  }

  oMainMonitorOnly->setState(StateOf(MainMonitorOnly));
  oWaterSpeed->setIntValue(static_cast<int32_t>(mySettings.WATERSPEED));
  oWaterRes->setIntValue(static_cast<int32_t>(mySettings.WATERSHIFT));
  oDripSpeed->setIntValue(static_cast<int32_t>(mySettings.DRIPSPEED));
  oLighting->setState(StateOf(mySettings.LIGHTING));
  oWantBowl->setState(StateOf(mySettings.WANTBOWL));
  oBGType->selectItemAtIndex(mySettings.BGTYPE);
  oBGPath->setTitle(mySettings.BGPath);
  oBGRes->selectItemAtIndex(mySettings.BGRES);
  configureSheet_updatestates();
  return configureSheetWindow.get();
}

void AmbrelView::configureSheet_save(SheetControl*) {
  if (!configureSheetWindow) return;
  MainMonitorOnly = IsOn(oMainMonitorOnly);
  mySettings.WATERSPEED = oWaterSpeed->intValue();
  mySettings.WATERSHIFT = oWaterRes->intValue();
  mySettings.DRIPSPEED = oDripSpeed->intValue();
  mySettings.LIGHTING = IsOn(oLighting);
  mySettings.WANTBOWL = IsOn(oWantBowl);
  mySettings.BGTYPE = oBGType->indexOfSelectedItem();
  mySettings.BGRES = oBGRes->indexOfSelectedItem();
  // The folder written is the one the button shows; it only ever shows BGPath
  // or a folder already taken into it, so a title too long to hold is refused.
  const std::string folder = oBGPath->title();
  if (folder.size() < sizeof mySettings.BGPath) std::memcpy(mySettings.BGPath, folder.c_str(), folder.size() + 1);
  storeSettings();
  configureSheetWindow->endSheet();
}

void AmbrelView::configureSheet_cancel(SheetControl*) {
  if (configureSheetWindow) configureSheetWindow->endSheet();
}

void AmbrelView::configureSheet_defaults(SheetControl*) {
  if (!configureSheetWindow) return;
  oMainMonitorOnly->setState(kControlStateOff);
  oWaterSpeed->setIntValue(kDefaultWaterSpeed);
  oWaterRes->setIntValue(kDefaultWaterRes);
  oDripSpeed->setIntValue(kDefaultDripSpeed);
  oLighting->setState(kControlStateOn);
  oWantBowl->setState(kControlStateOn);
  oBGType->selectItemAtIndex(kDefaultBGType);
  oBGPath->setTitle(mySettings.BGPath);  // the folder is kept
  oBGRes->selectItemAtIndex(kDefaultBGRes);
  configureSheet_updatestates();
}

void AmbrelView::configureSheet_update(SheetControl*) { configureSheet_updatestates(); }

void AmbrelView::configureSheet_updatestates() {
  if (!configureSheetWindow) return;
  oBGPath->setEnabled(oBGType->indexOfSelectedItem() == kFolderBGType);
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
  const std::string page = PathForResource(kProductPageName, kProductPageType);
  if (page.empty()) {
    std::fprintf(stderr, "ambrel: the product page %s.%s is not among the resources\n", kProductPageName,
                 kProductPageType);
    return;
  }
  // Like the platform's own command, a browser that fails to start goes unnoticed.
  CurrentSheetServices().openFileInBrowser(page);
}
