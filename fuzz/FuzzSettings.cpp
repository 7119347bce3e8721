// The settings store over arbitrary bytes: the input is the kvAmbrel store file.
// Every key the view reads, the view's own load (with its version rule), then a
// write-back of values taken from the parsed garbage, which must read back as
// written, beside the sections that were already there.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>

#include "FuzzSupport.h"
#include "host/AmbrelView.h"
#include "platform/Pictures.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/ScreenSaverDefaults.h"
#include "scene/SSMain.h"

namespace ambrel {

namespace {

const char* const kModule = "kvAmbrel";
const char* const kSection = "DesktopPictures";

// Breaks the run with the input that caused it: libFuzzer keeps it as a crash.
void Expect(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz_settings: %s\n", what);
  std::abort();
}

struct StoreFolder {
  std::string config;  // XDG_CONFIG_HOME of this process
  std::string folder;  // <config>/ambrel
  std::string file;    // <folder>/kvAmbrel.conf

  StoreFolder() {
    char pattern[] = "/dev/shm/ambrel-fuzz-settings-XXXXXX";
    Expect(mkdtemp(pattern) != nullptr, "cannot make the temporary config folder");
    config = pattern;
    folder = config + "/ambrel";
    file = folder + "/" + kModule + ".conf";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  }
  ~StoreFolder() {
    std::remove(file.c_str());
    std::remove((file + ".tmp").c_str());
    std::remove((file + ".bad").c_str());
    rmdir(folder.c_str());
    rmdir(config.c_str());
  }
  void Write(const uint8_t* data, size_t size) {
    std::remove(file.c_str());  // the writer's rename may have left another file here
    mkdir(folder.c_str(), 0700);
    FILE* out = std::fopen(file.c_str(), "wb");
    Expect(out != nullptr, "cannot write the store file");
    if (size) std::fwrite(data, 1, size, out);
    std::fclose(out);
  }
};

struct StoredValues {
  std::optional<std::string> version, bgPath;
  bool mainMonitorOnly, lighting, wantBowl;
  int64_t waterSpeed, waterRes, dripSpeed, bgType, bgRes;
  std::map<std::string, std::string> pictures;
};

StoredValues ReadAll(const ScreenSaverDefaults& store) {
  StoredValues v;
  v.version = store.stringForKey("version");
  v.mainMonitorOnly = store.boolForKey("MainMonitorOnly");
  v.lighting = store.boolForKey("Lighting");
  v.wantBowl = store.boolForKey("WantBowl");
  v.waterSpeed = store.integerForKey("WaterSpeed");
  v.waterRes = store.integerForKey("WaterRes");
  v.dripSpeed = store.integerForKey("DripSpeed");
  // A stored drip speed the drop timer cannot take is held at 1 .. 2^62 as it is read.
  if (store.stringForKey("DripSpeed"))
    v.dripSpeed = v.dripSpeed < 1 ? 1 : v.dripSpeed > (int64_t{1} << 62) ? int64_t{1} << 62 : v.dripSpeed;
  v.bgType = store.integerForKey("BGType");
  v.bgPath = store.stringForKey("BGPath");
  v.bgRes = store.integerForKey("BGRes");
  v.pictures = store.stringsInSection(kSection);
  // Our own group is never a section; hostile names are refused, not passed to GLib.
  Expect(store.stringsInSection(kModule).empty(), "the module group read as a section");
  store.stringsInSection("");
  store.stringsInSection("a]b");
  store.stringForKey("bad=key");
  return v;
}

void CheckViewLoad(const StoredValues& stored, bool text) {
  const SettingsRecord record = ReadStoredSettings();
  const bool mainMonitorOnly = record.mainMonitorOnly;
  const SETTINGS& settings = record.settings;
  Expect(std::memchr(settings.BGPath, '\0', sizeof settings.BGPath) != nullptr, "BGPath is not terminated");

  if (stored.version && *stored.version == "1.0.4") {
    Expect(mainMonitorOnly == stored.mainMonitorOnly && settings.LIGHTING == stored.lighting &&
               settings.WANTBOWL == stored.wantBowl,
           "the view's bools differ from the store's");
    Expect(settings.WATERSPEED == stored.waterSpeed && settings.WATERSHIFT == stored.waterRes &&
               settings.DRIPSPEED == stored.dripSpeed,
           "the view's integers differ from the store's");
    const int32_t kind = static_cast<int32_t>(stored.bgType);
    Expect(settings.BGTYPE == (kind < 0 ? 0 : kind > 2 ? 2 : kind) &&
               settings.BGRES == static_cast<int32_t>(stored.bgRes),
           "the view's 32-bit fields are not the low bits of the store's (an unknown kind: the nearest)");
    const std::string path = stored.bgPath ? stored.bgPath->c_str() : "";
    if (path.size() < sizeof settings.BGPath)
      Expect(path == settings.BGPath, "the view's BGPath differs from the store's");
    else
      Expect(settings.BGPath[0] == '\0', "an oversized BGPath was not refused");
    return;
  }
  // Any other version: defaults in memory and in the store.
  Expect(!mainMonitorOnly && settings.LIGHTING && settings.WANTBOWL && settings.WATERSPEED == 100 &&
             settings.WATERSHIFT == 6 && settings.DRIPSPEED == 250 && settings.BGTYPE == 0 &&
             settings.BGRES == 1 && settings.BGPath == UserPicturesFolder(),
         "the version rule did not give the defaults");
  auto reset = ScreenSaverDefaults::defaultsForModuleWithName(kModule);
  const StoredValues after = ReadAll(*reset);
  Expect(after.version == std::string("1.0.4") && after.bgPath == UserPicturesFolder() &&
             !after.mainMonitorOnly && after.lighting && after.wantBowl && after.waterSpeed == 100 &&
             after.waterRes == 6 && after.dripSpeed == 250 && after.bgType == 0 && after.bgRes == 1,
         "the version rule did not rewrite the store");
  // The reset leaves our own sections alone.
  if (text) Expect(after.pictures == stored.pictures, "the version rule lost the DesktopPictures section");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The store and pictures folder of the program, under the silent alerts.
  static const bool installed = (InstallLinuxPlatform(), true);
  (void)installed;
  SilenceAlerts();
  static StoreFolder store;
  store.Write(data, size);

  auto defaults = ScreenSaverDefaults::defaultsForModuleWithName(kModule);
  Expect(defaults->path() == store.file, "the store is not under XDG_CONFIG_HOME");
  const StoredValues stored = ReadAll(*defaults);

  // GLib cuts a value at a NUL byte and trims one raw CR off a line's end at each
  // load, so a value ending in raw CRs shrinks at every write. Our own writes escape
  // CR; exact round trips of foreign entries are checked on files without either.
  const bool text =
      size == 0 || (std::memchr(data, 0, size) == nullptr && std::memchr(data, '\r', size) == nullptr);
  CheckViewLoad(stored, text);

  // Write back through the store that holds the parsed garbage.
  const std::string path = stored.bgPath.value_or("/tmp/\xff\xfe not UTF-8\n\t\\s");
  defaults->setObject(path.c_str(), "BGPath");
  defaults->setInteger(stored.waterSpeed ^ INT64_MIN, "WaterSpeed");
  defaults->setBool(!stored.lighting, "Lighting");
  defaults->setStringInSection(path.c_str(), "default", kSection);
  defaults->setObject(nullptr, "version");
  Expect(defaults->synchronize(), "synchronize failed in a writable folder");

  auto reread = ScreenSaverDefaults::defaultsForModuleWithName(kModule);
  const StoredValues back = ReadAll(*reread);
  const std::string written = path.c_str();  // GLib keeps C strings
  Expect(back.bgPath == written, "BGPath did not read back as written");
  Expect(back.waterSpeed == (stored.waterSpeed ^ INT64_MIN), "WaterSpeed did not read back as written");
  Expect(back.lighting == !stored.lighting, "Lighting did not read back as written");
  // A key named twice in the file must not come back after a removal.
  Expect(!back.version, "a removed key came back");
  std::map<std::string, std::string> pictures = stored.pictures;
  pictures["default"] = written;
  if (text) Expect(back.pictures == pictures, "the DesktopPictures section did not survive a write");
  return 0;
}

}  // namespace ambrel
