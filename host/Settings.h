// The user's settings, declared once, each as a form: how the store keeps it,
// the values it takes, how the command line gives it, how the sheet shows it and
// how XScreenSaver's settings dialog offers it. Everything that reads, writes,
// shows or checks a setting goes through this table, and the sheets and the
// option file take their ranges and their layout from it.
//
// A new setting still wants, by hand:
//  - its row in host/Settings.cpp, its handle below and its place in kSettings;
//  - its field: SETTINGS in scene/SSMain.h when the scene uses it (and what the
//    scene does with it), else SettingsRecord;
//  - its outlet field in host/AmbrelView.h;
//  - its control in resources/ui/Ambrel.ui, with the outlet's name as its id;
//  - the manual (resources/doc/ambrel.6), the page (resources/doc/ambrel.html)
//    and the README;
//  - scripts/update-po.sh, then its texts in every resources/po/LANG.po.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "platform/SheetControls.h"
#include "scene/SSMain.h"
#include "scene/SceneLimits.h"

namespace ambrel {

class AmbrelView;

// The store's version of the settings below; a store of another version is reset.
extern const char* const kSettingsVersionKey;
extern const char* const kSettingsVersion;

// A view's whole set of settings: the main-screen choice is the view's own field,
// the rest is the scene's record.
struct SettingsRecord {
  bool mainMonitorOnly = false;
  SETTINGS settings{};
};

enum class SettingType { kBool, kInteger, kString };

// How the store keeps it, and the in-memory field it fills. Numbers carry bools
// as 0 and 1; a text that does not fit its field is refused (false) and the
// field kept, since a cut path names another folder.
struct StoredAs {
  const char* key = nullptr;  // in the store, in --print-settings
  SettingType type = SettingType::kBool;
  int64_t (*number)(const SettingsRecord&) = nullptr;
  void (*setNumber)(SettingsRecord&, int64_t) = nullptr;
  const char* (*text)(const SettingsRecord&) = nullptr;
  bool (*setText)(SettingsRecord&, const std::string&) = nullptr;
  int64_t defaultNumber = 0;
  std::string (*defaultText)() = nullptr;
  // A text earlier versions wrote as the default, read as today's default.
  const char* formerDefaultText = nullptr;
  // Added after stores of this version were written: absent, it reads as its
  // default rather than as none, false or 0.
  bool addedLater = false;
};

// The values that are used: the scene's limits for what the scene reads, the
// view's own for the rest. heldByView: the view holds its copy in range as it
// reads and stores it (the scene would fail on such a value before its own
// check could run, or the sheet would show it).
struct TakenValues {
  SceneLimits limits{};
  bool heldByView = false;
};

// A line of --help: a printf format whose %lld take `numbers` in order.
struct HelpLine {
  const char* format = "";
  long long numbers[3] = {};
};

// The command line: a bool has an option for each state; a number or text takes
// one value, numbers within [lowest, highest] or one of valueNames (whose index
// is the value; the digits are taken too).
struct OnTheCommandLine {
  const char* option = nullptr;
  const char* offOption = nullptr;
  int64_t lowest = 0;
  int64_t highest = 0;
  const char* const* valueNames = nullptr;
  HelpLine help{};  // option column included
};

// Its control on the sheet. A sheet read from a file (GTK's) has its own
// layout and takes the range; a sheet built in code (Cocoa's) lays out a row
// per setting in `row` order, from the label, the range and the items.
struct OnTheSheet {
  SheetControlKind control = SheetControlKind::kCheckBox;
  const char* outlet = nullptr;  // the control's name in the sheet
  SheetControl* AmbrelView::*field = nullptr;
  int row = 0;
  const char* label = "";  // the row's label, or a check box's title
  int lowest = 0;     // a slider's range
  int highest = 0;
  const char* const* items = nullptr;  // a pop-up's, null-terminated
  const char* sends = nullptr;         // the action a change sends
};

// Its option in XScreenSaver's settings dialog: a slider over the sheet's range
// for a number, a check box for a bool, a menu for a pop-up, a file field for a
// text. Settings with the same row share it, in column order.
struct InXScreenSaver {
  const char* id = nullptr;
  const char* label = nullptr;
  int row = 0;
  int column = 0;
  const char* lowLabel = nullptr;  // a slider's ends
  const char* highLabel = nullptr;
  const char* const* itemIds = nullptr;  // a menu's, one per value, null-terminated
  const char* const* itemLabels = nullptr;
};

struct SettingDeclaration {
  StoredAs store{};
  TakenValues taken{};
  OnTheCommandLine commandLine{};
  OnTheSheet sheet{};
  InXScreenSaver xscreensaver{};
};

// Each setting by name: a misspelt one does not compile.
extern const SettingDeclaration kMainMonitorOnlySetting;
extern const SettingDeclaration kWaterSpeedSetting;
extern const SettingDeclaration kWaterResSetting;
extern const SettingDeclaration kDripSpeedSetting;
extern const SettingDeclaration kLightingSetting;
extern const SettingDeclaration kWantBowlSetting;
extern const SettingDeclaration kBackgroundKindSetting;
extern const SettingDeclaration kBackgroundFolderSetting;
extern const SettingDeclaration kBackgroundDetailSetting;
extern const SettingDeclaration kOverlaySetting;

class SettingTable {
 public:
  class Iterator {
   public:
    explicit Iterator(const SettingDeclaration* const* at) : at_(at) {}
    const SettingDeclaration& operator*() const { return **at_; }
    Iterator& operator++() {
      ++at_;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return at_ != other.at_; }

   private:
    const SettingDeclaration* const* at_;
  };
  constexpr SettingTable(const SettingDeclaration* const* first, size_t count) : first_(first), count_(count) {}
  Iterator begin() const { return Iterator(first_); }
  Iterator end() const { return Iterator(first_ + count_); }
  size_t size() const { return count_; }

 private:
  const SettingDeclaration* const* first_;
  size_t count_;
};

// Every setting, in the order the store writes them.
extern const SettingTable kSettings;

// The value the view uses for a stored one.
int64_t AcceptedValue(const SettingDeclaration& setting, int64_t value);

// The values the view holds in range itself (see heldByView).
void HoldInViewRange(SettingsRecord* record);

// The settings a new store gets (and a store of another version is reset to).
SettingsRecord DefaultSettings();

// A value given for one run (on the command line, say): bools and numbers in
// `number`, texts in `text`.
struct SettingValue {
  int64_t number = 0;
  std::string text;
};
// Values for one run by store key; they go over the stored or given values and
// are never written back.
using SettingOverrides = std::map<std::string, SettingValue>;

void ApplySettingOverrides(const SettingOverrides& overrides, SettingsRecord* record);

// The value as --print-settings writes it: true/false, a number, or the text.
std::string SettingValueText(const SettingDeclaration& setting, const SettingsRecord& record);

}  // namespace ambrel
