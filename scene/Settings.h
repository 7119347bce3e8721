// The user's settings, declared once: for each, its key and type in the store, the
// field it fills, its default, the values the scene accepts, its command-line
// options and help line, its control on the configuration sheet and its option in
// XScreenSaver's settings dialog. Everything that reads, writes, shows or checks a
// setting goes through this table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "scene/SSMain.h"

namespace ambrel {

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

// How the sheet shows a setting: a check box (state), a number field (intValue),
// a pop-up menu (selected index) or the folder button (title).
enum class SettingControl { kCheckBox, kNumberField, kPopUp, kFolderButton };

// What becomes of a value outside the range the scene accepts.
enum class OutOfRange { kHeldAtEnd, kDefault };

struct SettingDeclaration {
  const char* key;  // in the store, in --print-settings
  SettingType type;

  // The in-memory field. Numbers carry bools as 0 and 1; a text that does not fit
  // its field is refused (false) and the field kept, since a cut path names
  // another folder.
  int64_t (*number)(const SettingsRecord&);
  void (*setNumber)(SettingsRecord&, int64_t);
  const char* (*text)(const SettingsRecord&);
  bool (*setText)(SettingsRecord&, const std::string&);

  int64_t defaultNumber;
  std::string (*defaultText)();
  // A text earlier versions wrote as the default, read as today's default.
  const char* formerDefaultText;

  // The range the scene accepts; outside it the scene holds the value at the end
  // it passed or takes the default. heldByView: the view itself holds its copy in
  // range as it reads and stores it (the scene would fail on such a value before
  // its own check could run, or the sheet would show it).
  int64_t lowest, highest;
  OutOfRange below, above;
  bool heldByView;

  // The command line: a bool has an option for each state; a number or text takes
  // one value, numbers within [optionLowest, optionHighest] or one of valueNames
  // (whose index is the value; the digits are taken too).
  const char* option;
  const char* offOption;
  int64_t optionLowest, optionHighest;
  const char* const* valueNames;
  const char* usage;  // the help text's line(s), option column included

  SettingControl control;
  const char* outlet;        // the sheet's outlet for it
  const char* xscreensaver;  // its element in XScreenSaver's option file; null: none
};

struct SettingTable {
  const SettingDeclaration* first;
  size_t count;
  const SettingDeclaration* begin() const { return first; }
  const SettingDeclaration* end() const { return first + count; }
};

// Every setting, in the order the store writes them.
extern const SettingTable kSettings;

// The declaration for a store key, or null.
const SettingDeclaration* SettingForKey(const std::string& key);

// The value the scene uses for a stored one.
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

// A setting's help line or option-file element with its default (%D) and the
// scene's lowest (%L) and highest (%H) values put in.
std::string FillSettingText(const char* text, const SettingDeclaration& setting);

}  // namespace ambrel
