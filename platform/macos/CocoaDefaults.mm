// The core's settings store over the ScreenSaver framework's defaults of the
// module: plain keys for the module's values, a dictionary of strings per section.
#import "platform/macos/Cocoa.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#import "platform/macos/ModuleDefaults.h"
#include "platform/ScreenSaverDefaults.h"
#include "platform/macos/CocoaPlatform.h"

using namespace ambrel;

namespace {

NSString* String(const char* text) { return text ? [NSString stringWithUTF8String:text] : nil; }

struct CocoaStore {
  NSUserDefaults* defaults = nil;
  std::string path;
  std::string file;  // the store's file, where known
  ~CocoaStore() { [defaults release]; }
};

class CocoaDefaults final : public ScreenSaverDefaults {
 public:
  explicit CocoaDefaults(std::unique_ptr<CocoaStore> impl) : impl_(std::move(impl)) {}
  std::optional<std::string> stringForKey(const char* key) const override;
  bool boolForKey(const char* key) const override;
  int64_t integerForKey(const char* key) const override;
  void setObject(const char* value, const char* key) override;
  void setBool(bool value, const char* key) override;
  void setInteger(int64_t value, const char* key) override;
  std::map<std::string, std::string> stringsInSection(const char* section) const override;
  void setStringInSection(const char* value, const char* key, const char* section) override;
  bool synchronize() override;
  void keepFileBeforeReset(const char* why) override;
  const std::string& path() const override;

 private:
  std::unique_ptr<CocoaStore> impl_;
};

}  // namespace

std::unique_ptr<ScreenSaverDefaults> ambrel::OpenCocoaDefaults(const char* moduleName) {
  auto impl = std::make_unique<CocoaStore>();
  NSString* name = String(moduleName && *moduleName ? moduleName : "default");
  impl->defaults = [cocoa::ModuleDefaults(name ? name : @"default") retain];
  impl->file = cocoa::ModuleDefaultsFile(name ? name : @"default");
  impl->path = impl->file.empty() ? std::string("the defaults of module ") + (moduleName ? moduleName : "default")
                                  : impl->file;
  return std::make_unique<CocoaDefaults>(std::move(impl));
}

std::optional<std::string> CocoaDefaults::stringForKey(const char* key) const {
  id value = [impl_->defaults objectForKey:String(key)];
  // A number reads as its text, as NSUserDefaults' own stringForKey: has it: the
  // key file's values are all text, and a caller may ask whether a key is there.
  if ([value isKindOfClass:[NSNumber class]]) value = [value stringValue];
  if (![value isKindOfClass:[NSString class]]) return std::nullopt;
  return std::string([value UTF8String]);
}

bool CocoaDefaults::boolForKey(const char* key) const { return [impl_->defaults boolForKey:String(key)]; }

int64_t CocoaDefaults::integerForKey(const char* key) const {
  return [impl_->defaults integerForKey:String(key)];
}

void CocoaDefaults::setObject(const char* value, const char* key) {
  NSString* text = String(value);
  // Text that is not UTF-8 has no place in a property list: the key keeps its value.
  if (!text || !key) {
    std::fprintf(stderr, "ambrel: %s is not UTF-8 text; it is not stored\n", key ? key : "(no key)");
    return;
  }
  [impl_->defaults setObject:text forKey:String(key)];
}

void CocoaDefaults::setBool(bool value, const char* key) { [impl_->defaults setBool:value forKey:String(key)]; }

void CocoaDefaults::setInteger(int64_t value, const char* key) {
  [impl_->defaults setInteger:static_cast<NSInteger>(value) forKey:String(key)];
}

std::map<std::string, std::string> CocoaDefaults::stringsInSection(const char* section) const {
  std::map<std::string, std::string> strings;
  id entries = [impl_->defaults objectForKey:String(section)];
  if (![entries isKindOfClass:[NSDictionary class]]) return strings;
  for (id key : cocoa::Items([entries allKeys])) {
    id value = [entries objectForKey:key];
    if ([key isKindOfClass:[NSString class]] && [value isKindOfClass:[NSString class]])
      strings[std::string([key UTF8String])] = [value UTF8String];
  }
  return strings;
}

void CocoaDefaults::setStringInSection(const char* value, const char* key, const char* section) {
  NSString *text = String(value), *name = String(key), *group = String(section);
  if (!text || !name || !group) return;
  NSMutableDictionary* entries = [NSMutableDictionary dictionary];
  id old = [impl_->defaults objectForKey:group];
  if ([old isKindOfClass:[NSDictionary class]]) [entries addEntriesFromDictionary:old];
  [entries setObject:text forKey:name];
  [impl_->defaults setObject:entries forKey:group];
}

bool CocoaDefaults::synchronize() {
  if ([impl_->defaults synchronize]) return true;
  std::fprintf(stderr, "ambrel: cannot write %s\n", impl_->path.c_str());
  return false;
}

// As on Linux, the file as it is (a hard link: nothing copied) is kept beside
// itself as <file>.bad, the two before it as .bad.1 and .bad.2, before the reset
// writes over it. Where the file is not ours to know, the reset is only said.
void CocoaDefaults::keepFileBeforeReset(const char* why) {
  const char* reason = why ? why : "is reset";
  const std::string& file = impl_->file;
  if (file.empty() || ::access(file.c_str(), F_OK) != 0) {
    std::fprintf(stderr, "ambrel: %s %s\n", impl_->path.c_str(), reason);
    return;
  }
  const std::string bad = file + ".bad", link = bad + ".tmp";
  ::unlink(link.c_str());
  if (::link(file.c_str(), link.c_str()) != 0) {
    const int error = errno;
    std::fprintf(stderr, "ambrel: %s %s, and cannot be kept as %s: %s\n", file.c_str(), reason, bad.c_str(),
                 std::strerror(error));
    return;
  }
  ::rename((bad + ".1").c_str(), (bad + ".2").c_str());
  ::rename(bad.c_str(), (bad + ".1").c_str());
  if (::rename(link.c_str(), bad.c_str()) != 0) {
    const int error = errno;
    ::unlink(link.c_str());
    std::fprintf(stderr, "ambrel: %s %s, and cannot be kept as %s: %s\n", file.c_str(), reason, bad.c_str(),
                 std::strerror(error));
    return;
  }
  std::fprintf(stderr, "ambrel: %s %s; it is kept as %s\n", file.c_str(), reason, bad.c_str());
}

const std::string& CocoaDefaults::path() const { return impl_->path; }
