// A sheet kept in memory: the neutral sheet interface with plain values and no
// toolkit, so the view's sheet logic runs anywhere. Its controls hold whatever
// they are given (no ranges); its actions are run by name, as a click would.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "PlatformLayers.h"
#include "platform/SheetControls.h"

namespace ambrel {

class MemoryControl : public SheetControl {
 public:
  void setState(int value) override { state_ = value; }
  int state() const override { return state_; }
  void setIntValue(int value) override { intValue_ = value; }
  int intValue() const override { return intValue_; }
  void selectItemAtIndex(int index) override { index_ = index; }
  int indexOfSelectedItem() const override { return index_; }
  void setTitle(const std::string& title) override { title_ = title; }
  std::string title() const override { return title_; }
  void setEnabled(bool enabled) override { enabled_ = enabled; }
  bool isEnabled() const override { return enabled_; }

 private:
  int state_ = 0, intValue_ = 0, index_ = -1;
  std::string title_;
  bool enabled_ = true;
};

class MemorySheetWindow : public SheetWindow {
 public:
  void present() override { shown_ = true; }
  void endSheet() override {
    shown_ = false;
    ++ends;
  }
  bool isShown() const override { return shown_; }

  // Runs the action as its control would send it; false when nothing is connected.
  bool send(const std::string& selector) {
    auto found = actions.find(selector);
    if (found == actions.end()) return false;
    found->second(nullptr);
    return true;
  }
  MemoryControl& control(const std::string& id) { return controls[id]; }

  std::map<std::string, MemoryControl> controls;
  std::map<std::string, std::function<void(SheetControl*)>> actions;
  int ends = 0;

 private:
  bool shown_ = false;
};

class MemorySheetServices : public SheetServices {
 public:

  std::unique_ptr<SheetWindow> loadSheetNamed(const char* name, const SheetOwner& owner) override {
    ++loads;
    names.push_back(name);
    if (refuseLoad) return nullptr;
    auto window = std::make_unique<MemorySheetWindow>();
    for (const SheetOutlet& outlet : owner.outlets) *outlet.control = &window->controls[outlet.name];
    for (const SheetAction& action : owner.actions) window->actions[action.selector] = action.perform;
    windows.push_back(window.get());
    return window;
  }
  std::optional<std::string> runFolderPanel(const FolderPanel& panel) override {
    panels.push_back(panel);
    return folderAnswer;
  }
  bool openFileInBrowser(const std::string& path) override {
    opened.push_back(path);
    return true;
  }

  bool refuseLoad = false;
  int loads = 0;
  std::vector<std::string> names;
  std::vector<MemorySheetWindow*> windows;
  std::optional<std::string> folderAnswer;
  std::vector<FolderPanel> panels;
  std::vector<std::string> opened;

 private:
  SheetServicesFrom layer_{*this};
};

}  // namespace ambrel
