// The settings store as one GLib key file per module under the XDG config folder:
// ${XDG_CONFIG_HOME:-$HOME/.config}/ambrel/<module>.conf, with the module's keys in
// the group named after it and our own optional sections beside it.
#include <fcntl.h>
#include <glib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "platform/ScreenSaverDefaults.h"
#include "platform/UserFile.h"
#include "platform/linux/LinuxPlatform.h"

namespace ambrel {

namespace {

// A settings file is a few hundred bytes; anything far bigger is not ours.
constexpr int64_t kMaxStoreBytes = 1 << 20;

std::string SafeModuleName(const char* moduleName) {
  std::string name = moduleName && *moduleName ? moduleName : "default";
  for (char& c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    if (!plain) c = '_';
  }
  if (name[0] == '.') name[0] = '_';  // no "..", no hidden files
  return name;
}

std::string ConfigHome() {
  // Read each time rather than through g_get_user_config_dir(), which caches.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;  // relative values are to be ignored
  const char* home = std::getenv("HOME");
  if (!home || !*home) home = g_get_home_dir();
  return std::string(home) + "/.config";
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Our folder, and the config folder it sits in when that is missing too (a fresh
// account has no ~/.config), but only inside a folder that exists: a HOME or
// XDG_CONFIG_HOME that leads nowhere is not ours to build.
bool MakeStoreFolder(const std::string& configHome, const std::string& directory) {
  if (::mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST) return true;
  if (errno != ENOENT) return false;
  if (::mkdir(configHome.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return ::mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST;
}

// The file a write replaces: a link (a dotfile manager's) stays a link, and the
// file it leads to is replaced in its own folder.
bool ResolveStoreTarget(const std::string& path, std::string* target, std::string* why) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
    *target = path;
    return true;
  }
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) {
    *why = std::string("it is a symbolic link to nothing that can be written (") + std::strerror(errno) + ")";
    return false;
  }
  *target = resolved;
  std::free(resolved);
  return true;
}

// GKeyFile refuses (with a critical) names it cannot write back; refuse them first.
bool UsableName(const char* name, bool isKey) {
  if (!name || !*name) return false;
  const size_t length = std::strlen(name);
  if (!g_utf8_validate(name, static_cast<gssize>(length), nullptr)) return false;
  if (isKey && (name[0] == ' ' || name[length - 1] == ' ')) return false;
  for (const char* p = name; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 || c == '[' || c == ']' || (isKey && c == '=')) return false;
  }
  return true;
}

// One line of the file for a message: printable, and not too long.
std::string Shown(const std::string& line) {
  std::string shown;
  for (const char c : line.substr(0, 60)) shown += (c >= 0x20 && c < 0x7f) ? c : '?';
  return line.size() > 60 ? shown + "..." : shown;
}

bool Parses(const std::string& text) {
  GKeyFile* probe = g_key_file_new();
  const bool parsed = g_key_file_load_from_data(probe, text.data(), text.size(), G_KEY_FILE_NONE, nullptr);
  g_key_file_free(probe);
  return parsed;
}

// GKeyFile gives up on the whole file at its first bad line. Keeps the lines it
// takes one by one, so that a typo costs that line alone; the keys under a group
// line it refuses go with it. Says on stderr what is skipped.
std::string UsableLines(const std::string& path, const std::string& data, int* skipped) {
  constexpr int kMessages = 5;
  std::string kept;
  bool inGroup = false;
  size_t start = 0;
  for (int number = 1; start < data.size(); ++number) {
    size_t end = data.find('\n', start);
    if (end == std::string::npos) end = data.size();
    const std::string line = data.substr(start, end - start);
    start = end + 1;
    const size_t first = line.find_first_not_of(" \t\r");
    bool usable;
    if (first == std::string::npos || line[first] == '#') {
      usable = true;
    } else if (line[first] == '[') {
      usable = inGroup = Parses(line + "\n");
    } else {
      usable = inGroup && Parses("[g]\n" + line + "\n");
    }
    if (usable) {
      kept += line + "\n";
      continue;
    }
    if (++*skipped <= kMessages)
      std::fprintf(stderr, "ambrel: %s line %d cannot be read and is skipped: \"%s\"\n", path.c_str(), number,
                   Shown(line).c_str());
  }
  if (*skipped > kMessages)
    std::fprintf(stderr, "ambrel: %s: %d more lines skipped\n", path.c_str(), *skipped - kMessages);
  return kept;
}

// GKeyFile's string escapes, undone without its UTF-8 check: file names on Linux
// are bytes, and a folder name in another encoding must survive the round trip.
std::optional<std::string> Unescape(const char* raw) {
  std::string text;
  for (const char* p = raw; *p; ++p) {
    if (*p != '\\') {
      text += *p;
      continue;
    }
    switch (*++p) {
      case 's': text += ' '; break;
      case 'n': text += '\n'; break;
      case 't': text += '\t'; break;
      case 'r': text += '\r'; break;
      case '\\': text += '\\'; break;
      default: return std::nullopt;  // unknown escape, or a lone one at the end
    }
  }
  return text;
}

std::optional<std::string> ReadString(GKeyFile* keys, const char* group, const char* key) {
  gchar* raw = g_key_file_get_value(keys, group, key, nullptr);
  if (!raw) return std::nullopt;
  std::optional<std::string> text = Unescape(raw);
  g_free(raw);
  return text;
}

// Closes a descriptor when it goes out of scope.
struct FileDescriptor {
  int fd;
  explicit FileDescriptor(int value) : fd(value) {}
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
};

bool WriteAll(int fd, const char* data, size_t length) {
  while (length > 0) {
    const ssize_t done = ::write(fd, data, length);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      if (done == 0) errno = EIO;
      return false;
    }
    data += done;
    length -= static_cast<size_t>(done);
  }
  return true;
}

// Waits a little for other writers of the folder, but never for a stopped or hung
// one: after two seconds the caller goes ahead on its own.
bool LockFolder(int folder) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    if (::flock(folder, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    ::usleep(2000);
  }
  return false;
}

// Temporary file, fsync, rename, fsync of the folder: a crash at any moment leaves
// the old store or the new one. Writers take turns under a lock on the folder and
// reuse one temporary name, so a writer killed half-way leaves at most that one
// file, which the next write replaces (a fresh random name per write, as
// g_file_set_contents() uses, piles up one file per killed writer). Where the
// folder cannot be locked in time, each write falls back to a unique temporary name.
// beforeWrite runs first, under the lock when there is one, with the folder open.
bool ReplaceFileAtomically(const std::string& directory, const std::string& name, const char* data,
                           size_t length, const std::function<void(int folder)>& beforeWrite, std::string* why) {
  const FileDescriptor folder(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.fd < 0) {
    *why = std::strerror(errno);
    return false;
  }
  std::string temporary = name + ".tmp";
  int fd;
  const bool locked = LockFolder(folder.fd);
  beforeWrite(folder.fd);
  if (locked) {
    ::unlinkat(folder.fd, temporary.c_str(), 0);
    fd = ::openat(folder.fd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  } else {
    std::string pattern = directory + "/" + name + ".XXXXXX";
    fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    temporary = pattern.substr(directory.size() + 1);
  }
  if (fd < 0) {
    *why = std::strerror(errno);
    return false;
  }
  bool written = WriteAll(fd, data, length) && ::fsync(fd) == 0;
  written = (::close(fd) == 0) && written;
  written = written && ::renameat(folder.fd, temporary.c_str(), folder.fd, name.c_str()) == 0;
  if (!written) {
    *why = std::strerror(errno);
    ::unlinkat(folder.fd, temporary.c_str(), 0);
    return false;
  }
  ::fsync(folder.fd);  // makes the rename itself durable; the data is already safe
  return true;
}

// How many files kept aside stay: <name>.bad (the newest), <name>.bad.1, ... A
// reset that keeps the user's own file and a later one that keeps a file of
// defaults must not cost the user's file.
constexpr int kFilesKeptAside = 3;

std::string KeptName(const std::string& name, int age) {
  return name + ".bad" + (age > 0 ? "." + std::to_string(age) : "");
}

bool SameContents(const std::string& folder, const std::string& one, const std::string& other) {
  std::string a, b;
  return ReadUserFile(folder + "/" + one, kMaxStoreBytes, &a) &&
         ReadUserFile(folder + "/" + other, kMaxStoreBytes, &b) && a == b;
}

struct KeyFileStore {
  std::string group;
  std::string configHome;
  std::string directory;
  std::string path;
  FileIdentity read;      // the file Load() looked at
  GKeyFile* keys = g_key_file_new();
  bool warned = false;
  bool onDisk = false;    // a file of ours, or something else, is at the path
  std::string keepAside;  // why the file on disk is kept before the next write

  ~KeyFileStore() { g_key_file_free(keys); }

  void Load() {
    struct stat info;
    onDisk = ::lstat(path.c_str(), &info) == 0 && !(S_ISREG(info.st_mode) && info.st_size == 0);
    std::string data;
    UserFileError error = UserFileError::kNone;
    if (!ReadUserFile(path, kMaxStoreBytes, &data, &error, &read)) {
      // Anything unreadable or strange reads as an empty store.
      if (onDisk) {
        std::fprintf(stderr, "ambrel: %s %s and is not used\n", path.c_str(),
                     DescribeUserFileError(error, kMaxStoreBytes).c_str());
        keepAside = "could not be read";
      }
      return;
    }
    if (data.compare(0, 3, "\xEF\xBB\xBF") == 0) data.erase(0, 3);  // a byte-order mark
    if (data.empty()) return;
    if (!g_key_file_load_from_data(keys, data.data(), data.size(), G_KEY_FILE_NONE, nullptr)) {
      int skipped = 0;
      const std::string usable = UsableLines(path, data, &skipped);
      if (skipped > 0) keepAside = "had lines that could not be read";
      if (!g_key_file_load_from_data(keys, usable.data(), usable.size(), G_KEY_FILE_NONE, nullptr)) {
        g_key_file_free(keys);
        keys = g_key_file_new();
        keepAside = "could not be read";
        return;
      }
    }
    KeepOneValuePerKey();
  }

  // Keeps the file Load() read, under its own name + ".bad", before a write
  // replaces it: a hard link, so nothing is copied or lost. Runs under the folder's
  // lock, and keeps nothing when the file there is no longer the one read: another
  // run has kept it and written its own since, which is not worth keeping.
  void KeepAside(int folder, const std::string& target) {
    const std::string reason = keepAside;
    keepAside.clear();
    if (!onDisk) return;
    onDisk = false;
    const std::string name = target.substr(target.find_last_of('/') + 1);
    struct stat now;
    if (::fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) return;
    FileIdentity there;
    there.known = true;
    there.device = static_cast<uint64_t>(now.st_dev);
    there.inode = static_cast<uint64_t>(now.st_ino);
    if (!(there == read)) return;
    const std::string bad = DirectoryOf(target) + "/" + KeptName(name, 0);
    const std::string link = KeptName(name, 0) + ".tmp";
    ::unlinkat(folder, link.c_str(), 0);
    if (::linkat(folder, name.c_str(), folder, link.c_str(), 0) != 0) {
      const int error = errno;
      std::fprintf(stderr, "ambrel: %s %s, and cannot be kept as %s: %s\n", path.c_str(), reason.c_str(),
                   bad.c_str(), std::strerror(error));
      return;
    }
    if (SameContents(DirectoryOf(target), link, KeptName(name, 0))) {
      ::unlinkat(folder, link.c_str(), 0);
      std::fprintf(stderr, "ambrel: %s %s; it is already kept as %s\n", path.c_str(), reason.c_str(), bad.c_str());
      return;
    }
    for (int age = kFilesKeptAside - 1; age > 0; --age)
      ::renameat(folder, KeptName(name, age - 1).c_str(), folder, KeptName(name, age).c_str());
    if (::renameat(folder, link.c_str(), folder, KeptName(name, 0).c_str()) != 0) {
      const int error = errno;
      ::unlinkat(folder, link.c_str(), 0);
      std::fprintf(stderr, "ambrel: %s %s, and cannot be kept as %s: %s\n", path.c_str(), reason.c_str(),
                   bad.c_str(), std::strerror(error));
      return;
    }
    std::fprintf(stderr, "ambrel: %s %s; it is kept as %s\n", path.c_str(), reason.c_str(), bad.c_str());
  }

  // A file that names a key twice keeps both copies in GKeyFile, and removing the
  // key drops only the one it reads, so the other would come back on the next
  // write. Keep only the value that reads win.
  void KeepOneValuePerKey() {
    GKeyFile* single = g_key_file_new();
    gchar** groups = g_key_file_get_groups(keys, nullptr);
    for (gchar** group = groups; group && *group; ++group) {
      gchar** names = g_key_file_get_keys(keys, *group, nullptr, nullptr);
      for (gchar** name = names; name && *name; ++name) {
        gchar* value = g_key_file_get_value(keys, *group, *name, nullptr);
        if (value) g_key_file_set_value(single, *group, *name, value);
        g_free(value);
      }
      g_strfreev(names);
    }
    g_strfreev(groups);
    g_key_file_free(keys);
    keys = single;
  }

  void Warn(const char* why) {
    if (warned) return;
    warned = true;
    std::fprintf(stderr, "ambrel: cannot save settings to %s: %s\n", path.c_str(), why);
  }
};

class KeyFileDefaults final : public ScreenSaverDefaults {
 public:
  explicit KeyFileDefaults(std::unique_ptr<KeyFileStore> impl) : impl_(std::move(impl)) {}
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
  std::unique_ptr<KeyFileStore> impl_;
};

}  // namespace

std::unique_ptr<ScreenSaverDefaults> OpenKeyFileDefaults(const char* moduleName) {
  auto impl = std::make_unique<KeyFileStore>();
  impl->group = SafeModuleName(moduleName);
  impl->configHome = ConfigHome();
  impl->directory = impl->configHome + "/ambrel";
  impl->path = impl->directory + "/" + impl->group + ".conf";
  impl->Load();
  return std::make_unique<KeyFileDefaults>(std::move(impl));
}

std::optional<std::string> KeyFileDefaults::stringForKey(const char* key) const {
  if (!UsableName(key, true)) return std::nullopt;
  return ReadString(impl_->keys, impl_->group.c_str(), key);
}

bool KeyFileDefaults::boolForKey(const char* key) const {
  if (!UsableName(key, true)) return false;
  GError* error = nullptr;
  const gboolean value = g_key_file_get_boolean(impl_->keys, impl_->group.c_str(), key, &error);
  if (!error) return value;
  g_error_free(error);
  // A number counts as a bool: true when it is not zero.
  return g_key_file_get_int64(impl_->keys, impl_->group.c_str(), key, nullptr) != 0;
}

int64_t KeyFileDefaults::integerForKey(const char* key) const {
  if (!UsableName(key, true)) return 0;
  return g_key_file_get_int64(impl_->keys, impl_->group.c_str(), key, nullptr);
}

void KeyFileDefaults::setObject(const char* value, const char* key) {
  if (!UsableName(key, true)) return;
  if (!value) {
    g_key_file_remove_key(impl_->keys, impl_->group.c_str(), key, nullptr);
    return;
  }
  g_key_file_set_string(impl_->keys, impl_->group.c_str(), key, value);
}

void KeyFileDefaults::setBool(bool value, const char* key) {
  if (UsableName(key, true)) g_key_file_set_boolean(impl_->keys, impl_->group.c_str(), key, value);
}

void KeyFileDefaults::setInteger(int64_t value, const char* key) {
  if (UsableName(key, true)) g_key_file_set_int64(impl_->keys, impl_->group.c_str(), key, value);
}

std::map<std::string, std::string> KeyFileDefaults::stringsInSection(const char* section) const {
  std::map<std::string, std::string> result;
  if (!UsableName(section, false) || impl_->group == section) return result;
  gchar** keys = g_key_file_get_keys(impl_->keys, section, nullptr, nullptr);
  if (!keys) return result;
  for (gchar** key = keys; *key; ++key) {
    if (std::optional<std::string> value = ReadString(impl_->keys, section, *key)) result[*key] = *value;
  }
  g_strfreev(keys);
  return result;
}

void KeyFileDefaults::setStringInSection(const char* value, const char* key, const char* section) {
  if (!UsableName(section, false) || !UsableName(key, true) || impl_->group == section) return;
  if (!value) {
    g_key_file_remove_key(impl_->keys, section, key, nullptr);
    return;
  }
  g_key_file_set_string(impl_->keys, section, key, value);
}

void KeyFileDefaults::keepFileBeforeReset(const char* why) { impl_->keepAside = why ? why : "is reset"; }

bool KeyFileDefaults::synchronize() {
  if (!MakeStoreFolder(impl_->configHome, impl_->directory)) {
    impl_->Warn(std::strerror(errno));
    return false;
  }
  std::string target, why;
  if (!ResolveStoreTarget(impl_->path, &target, &why)) {
    impl_->Warn(why.c_str());
    return false;
  }
  gsize length = 0;
  gchar* data = g_key_file_to_data(impl_->keys, &length, nullptr);
  const bool written = ReplaceFileAtomically(
      DirectoryOf(target), target.substr(target.find_last_of('/') + 1), data ? data : "", data ? length : 0,
      [&](int folder) {
        if (!impl_->keepAside.empty()) impl_->KeepAside(folder, target);
      },
      &why);
  g_free(data);
  if (!written) {
    impl_->Warn(why.c_str());
    return false;
  }
  return true;
}

const std::string& KeyFileDefaults::path() const { return impl_->path; }

}  // namespace ambrel
