#include "platform/UserFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace ambrel {

namespace {

FileIdentity IdentityOf(const struct stat& info) {
  FileIdentity identity;
  identity.known = true;
  identity.device = static_cast<uint64_t>(info.st_dev);
  identity.inode = static_cast<uint64_t>(info.st_ino);
  return identity;
}

}  // namespace

std::string DescribeUserFileError(UserFileError error, int64_t maxBytes) {
  switch (error) {
    case UserFileError::kNone: return "can be read";
    case UserFileError::kMissing: return "does not exist";
    case UserFileError::kNotRegular: return "is not a regular file";
    case UserFileError::kEmpty: return "is empty";
    case UserFileError::kTooLarge: {
      const bool megabytes = maxBytes >= (int64_t(1) << 20);
      return "is larger than " + std::to_string(megabytes ? maxBytes >> 20 : maxBytes >> 10) +
             (megabytes ? " MB" : " KB");
    }
    case UserFileError::kUnreadable: break;
  }
  return "cannot be read";
}

UserFile::UserFile(const std::string& path, int64_t maxBytes) : maxBytes_(maxBytes) {
  // Checked before the open as well as after it: opening a device can have effects
  // of its own (a tape rewinds), and a FIFO without a writer would block the open.
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    error_ = errno == ENOENT || errno == ENOTDIR ? UserFileError::kMissing : UserFileError::kUnreadable;
    return;
  }
  identity_ = IdentityOf(info);
  if (!S_ISREG(info.st_mode)) {
    error_ = UserFileError::kNotRegular;
    return;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    error_ = errno == ENOENT ? UserFileError::kMissing : UserFileError::kUnreadable;
    return;
  }
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    error_ = UserFileError::kNotRegular;
    return;
  }
  identity_ = IdentityOf(info);  // the file opened, should the path have changed since the stat
  if (info.st_size > maxBytes) {
    ::close(fd);
    error_ = UserFileError::kTooLarge;
    return;
  }
  fd_ = fd;
  size_ = info.st_size;
}

UserFile::~UserFile() {
  if (fd_ >= 0) ::close(fd_);
}

long UserFile::read(void* into, size_t room) {
  if (fd_ < 0) return -1;
  ssize_t got;
  do {
    got = ::read(fd_, into, room);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    error_ = UserFileError::kUnreadable;
    return -1;
  }
  done_ += got;
  if (done_ > maxBytes_) {
    error_ = UserFileError::kTooLarge;
    return -1;
  }
  return static_cast<long>(got);
}

bool ReadUserFile(const std::string& path, int64_t maxBytes, std::string* contents, UserFileError* error,
                  FileIdentity* identity) {
  contents->clear();
  UserFile file(path, maxBytes);
  if (identity) *identity = file.identity();
  if (file.isOpen()) {
    contents->reserve(static_cast<size_t>(file.size()));
    char buffer[16384];
    long got;
    while ((got = file.read(buffer, sizeof buffer)) > 0) contents->append(buffer, static_cast<size_t>(got));
    if (got == 0) {
      if (error) *error = UserFileError::kNone;
      return true;
    }
    contents->clear();
  }
  if (error) *error = file.error();
  return false;
}

}  // namespace ambrel
