// The per-user settings store of one screen-saver module. Absent keys read as
// none / false / 0; synchronize() makes the values visible to stores opened later.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace ambrel {

class ScreenSaverDefaults {
 public:
  // Opens (never fails: an unreadable store reads as empty) the module's store.
  static std::unique_ptr<ScreenSaverDefaults> defaultsForModuleWithName(const char* moduleName);

  ~ScreenSaverDefaults();
  ScreenSaverDefaults(const ScreenSaverDefaults&) = delete;
  ScreenSaverDefaults& operator=(const ScreenSaverDefaults&) = delete;

  std::optional<std::string> stringForKey(const char* key) const;
  bool boolForKey(const char* key) const;
  int64_t integerForKey(const char* key) const;

  void setObject(const char* value, const char* key);  // a string value
  void setBool(bool value, const char* key);
  void setInteger(int64_t value, const char* key);

  // Optional sections of our own beside the module's keys, in the same store
  // (e.g. "DesktopPictures"): every key of a section with its string value.
  std::map<std::string, std::string> stringsInSection(const char* section) const;
  void setStringInSection(const char* value, const char* key, const char* section);

  // Writes the store now, atomically. False (and one line on stderr) when it cannot.
  // A file on disk that read with errors, or that the caller resets, is first kept
  // beside it as "<path>.bad" (the older ones as .bad.1 and .bad.2), and stderr
  // says so. A symbolic link at the path stays: the file it leads to is replaced.
  bool synchronize();
  // Before the caller replaces every value: why, for the message ("is reset ...").
  void keepFileBeforeReset(const char* why);

  // Where the store lives on disk (for messages and tests).
  const std::string& path() const;

 private:
  struct Impl;
  explicit ScreenSaverDefaults(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace ambrel
