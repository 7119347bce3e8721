// Files that the user or another program controls (pictures, the settings file,
// ~/.xscreensaver): read only when they are regular files, never waiting on a FIFO
// or a device, and never beyond a size cap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ambrel {

enum class UserFileError { kNone, kMissing, kNotRegular, kEmpty, kTooLarge, kUnreadable };

// Which file a path led to when it was looked at (device and inode), so that a
// later step can tell whether the file there now is still that one.
struct FileIdentity {
  bool known = false;
  uint64_t device = 0, inode = 0;
  bool operator==(const FileIdentity& other) const {
    return known && other.known && device == other.device && inode == other.inode;
  }
};

// "is not a regular file", "is larger than 1 MB", ...: the end of a sentence that
// starts with the file's name.
std::string DescribeUserFileError(UserFileError error, int64_t maxBytes);

class UserFile {
 public:
  // Opens path when it names (through links) a regular file of at most maxBytes.
  UserFile(const std::string& path, int64_t maxBytes);
  ~UserFile();
  UserFile(const UserFile&) = delete;
  UserFile& operator=(const UserFile&) = delete;

  bool isOpen() const { return fd_ >= 0; }
  UserFileError error() const { return error_; }
  int64_t size() const { return size_; }  // as it was when opened
  // The file the path led to, also when it was refused (not regular, too large).
  const FileIdentity& identity() const { return identity_; }

  // Up to room bytes; 0 at the end. -1 (and error() set) on a read error or once
  // the file has grown past the cap since it was opened.
  long read(void* into, size_t room);

 private:
  int fd_ = -1;
  int64_t size_ = 0, maxBytes_ = 0, done_ = 0;
  UserFileError error_ = UserFileError::kNone;
  FileIdentity identity_;
};

// The whole file, or false with *error (when given) saying why. An empty file
// reads as empty and counts as read.
bool ReadUserFile(const std::string& path, int64_t maxBytes, std::string* contents, UserFileError* error = nullptr,
                  FileIdentity* identity = nullptr);

}  // namespace ambrel
