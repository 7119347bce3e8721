// The per-user settings store of one screen-saver module, as the platform keeps
// it. Absent keys read as none / false / 0; synchronize() makes the values
// visible to stores opened later.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace ambrel {

class ScreenSaverDefaults {
 public:
  // Opens (never fails: an unreadable store reads as empty) the module's store,
  // through the current platform (platform/Platform.h).
  static std::unique_ptr<ScreenSaverDefaults> defaultsForModuleWithName(const char* moduleName);

  virtual ~ScreenSaverDefaults() = default;
  ScreenSaverDefaults(const ScreenSaverDefaults&) = delete;
  ScreenSaverDefaults& operator=(const ScreenSaverDefaults&) = delete;

  virtual std::optional<std::string> stringForKey(const char* key) const = 0;
  virtual bool boolForKey(const char* key) const = 0;
  virtual int64_t integerForKey(const char* key) const = 0;

  virtual void setObject(const char* value, const char* key) = 0;  // a string value
  virtual void setBool(bool value, const char* key) = 0;
  virtual void setInteger(int64_t value, const char* key) = 0;

  // Optional sections of our own beside the module's keys, in the same store
  // (e.g. "DesktopPictures"): every key of a section with its string value.
  virtual std::map<std::string, std::string> stringsInSection(const char* section) const = 0;
  virtual void setStringInSection(const char* value, const char* key, const char* section) = 0;

  // Writes the store now, atomically. False (and one line on stderr) when it cannot.
  // A file on disk that read with errors, or that the caller resets, is first kept
  // beside it as "<path>.bad" (the older ones as .bad.1 and .bad.2), and stderr
  // says so. A symbolic link at the path stays: the file it leads to is replaced.
  virtual bool synchronize() = 0;
  // Before the caller replaces every value: why, for the message ("is reset ...").
  virtual void keepFileBeforeReset(const char* why) = 0;

  // Where the store lives on disk (for messages and tests).
  virtual const std::string& path() const = 0;

 protected:
  ScreenSaverDefaults() = default;
};

}  // namespace ambrel
