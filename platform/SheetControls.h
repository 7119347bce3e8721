// The configuration sheet as the view sees it: controls with a few plain
// operations, an owner that receives the sheet's outlets and actions by name,
// and the services around a sheet (loading it by name, the folder panel,
// opening a web page). The platform backend implements them; the view's sheet
// logic stays plain C++.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ambrel {

// A control of a loaded sheet. Check boxes have a state (0 off, 1 on, anything
// else mixed); sliders and spin buttons an integer value (kept inside their own
// range); pop-up menus a selected item (-1 for none); buttons a title. Each
// returns the value last set or chosen; an operation the control has no use
// for does nothing and reads as 0 / empty.
class SheetControl {
 public:
  virtual ~SheetControl() = default;
  virtual void setState(int state) = 0;
  virtual int state() const = 0;
  virtual void setIntValue(int value) = 0;
  virtual int intValue() const = 0;
  virtual void selectItemAtIndex(int index) = 0;
  virtual int indexOfSelectedItem() const = 0;
  virtual void setTitle(const std::string& title) = 0;
  virtual std::string title() const = 0;
  virtual void setEnabled(bool enabled) = 0;
  virtual bool isEnabled() const = 0;
};

constexpr int kControlStateOff = 0;
constexpr int kControlStateOn = 1;
constexpr int kControlStateMixed = -1;

enum class SheetControlKind { kCheckBox, kSlider, kPopUp, kButton };

// What a sheet is loaded against. Every outlet must be present in the sheet; an
// action the sheet names but the owner lacks is reported and left unconnected.
// A sheet read from a file keeps the file's layout and takes each slider's range
// from its outlet; a sheet built in code makes a row per outlet, in their order.
struct SheetOutlet {
  std::string name;
  SheetControl** control;  // filled by the load; the sheet owns the control
  SheetControlKind kind = SheetControlKind::kButton;
  std::string label{};  // the row's label, or a check box's title
  int lowest = 0;     // a slider's range
  int highest = 0;
  std::vector<std::string> items{};  // a pop-up's
  std::string action{};              // the action a change sends, if any
};

struct SheetAction {
  std::string selector;  // e.g. "configureSheet_save:"
  std::function<void(SheetControl* sender)> perform;
};

struct SheetOwner {
  std::vector<SheetOutlet> outlets;
  std::vector<SheetAction> actions;
};

// A loaded sheet: a window kept for its owner's life, shown and hidden again.
class SheetWindow {
 public:
  virtual ~SheetWindow() = default;
  // Shows it (what the engine does with the window the view returns).
  virtual void present() = 0;
  // Hides it: the engine's endSheet:.
  virtual void endSheet() = 0;
  virtual bool isShown() const = 0;
};

struct FolderPanel {
  std::string title;
  std::string startDirectory;
  std::vector<std::string> allowedFileTypes;
  bool allowsMultipleSelection = false;
  bool canChooseFiles = false;
  bool canChooseDirectories = true;
};

class SheetServices {
 public:
  virtual ~SheetServices() = default;
  // Loads the interface file of that name from the bundle's resources, with
  // owner's outlets filled and its actions connected. Null, after a line on
  // stderr, when the file is missing or broken or lacks an outlet.
  virtual std::unique_ptr<SheetWindow> loadSheetNamed(const char* name, const SheetOwner& owner) = 0;
  // Runs a modal folder panel; the chosen path, or none when cancelled.
  virtual std::optional<std::string> runFolderPanel(const FolderPanel& panel) = 0;
  // Hands a file path to the user's browser as a file URI; false when it could not.
  virtual bool openFileInBrowser(const std::string& path) = 0;
};

// The current platform's sheet services (platform/Platform.h).
SheetServices& CurrentSheetServices();

}  // namespace ambrel
