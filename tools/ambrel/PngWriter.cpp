#include "tools/ambrel/PngWriter.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/Termination.h"
#include "platform/linux/Translations.h"

namespace ambrel {

namespace {

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Short whatever the target's name, so that any name the folder takes can be written.
std::string TemporaryPattern(const std::string& target) { return DirectoryOf(target) + "/.ambrel-XXXXXX"; }

// The reason a write failed, kept for the message instead of libpng's own stderr line.
struct EncoderFailure {
  int savedErrno = 0;
  std::string message;
};

void OnPngError(png_structp png, png_const_charp message) {
  auto* failure = static_cast<EncoderFailure*>(png_get_error_ptr(png));
  failure->savedErrno = errno;
  failure->message = message ? message : Tr("unknown error");
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// libpng reports fatal errors by longjmp; everything it touches is plain data, so the
// jump only has to leave this function.
// The failure record lives in the caller, outside the frame that setjmp returns to twice.
bool EncodeTo(FILE* file, const std::string& path, int width, int height, const std::vector<uint8_t>& rgba,
              EncoderFailure* failure, std::string* error) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, failure, OnPngError, OnPngWarning);
  if (!png) {
    *error = Tr("cannot start the PNG encoder");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    *error = Tr("cannot start the PNG encoder");
    return false;
  }
  std::vector<png_byte> row((size_t)width * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    *error = Format(Tr("cannot write %s: %s"), path.c_str(),
                    failure->savedErrno != 0 ? std::strerror(failure->savedErrno) : failure->message.c_str());
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    const uint8_t* source = rgba.data() + (size_t)y * width * 4;
    for (int x = 0; x < width; ++x) {
      row[(size_t)x * 3 + 0] = source[x * 4 + 0];
      row[(size_t)x * 3 + 1] = source[x * 4 + 1];
      row[(size_t)x * 3 + 2] = source[x * 4 + 2];
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool ResolvePngTarget(const std::string& path, std::string* target, std::string* error) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) {
    if (errno != ENOENT) {
      *error = Format(Tr("cannot write %s: %s"), path.c_str(), std::strerror(errno));
      return false;
    }
    *target = path;  // a new file
  } else if (S_ISLNK(info.st_mode)) {
    // The link stays a link: the file it leads to is the one replaced.
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved) {
      *error = Format(Tr("%s is a symbolic link to nothing that can be written"), path.c_str());
      return false;
    }
    *target = resolved;
    std::free(resolved);
    if (stat(target->c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
      *error = Format(Tr("%s is a symbolic link to something other than a regular file"), path.c_str());
      return false;
    }
  } else if (S_ISDIR(info.st_mode)) {
    *error = Format(Tr("%s is a directory"), path.c_str());
    return false;
  } else if (!S_ISREG(info.st_mode)) {
    *error = Format(Tr("%s is not a regular file (give - for standard output)"), path.c_str());
    return false;
  } else {
    *target = path;
  }
  if (BaseOf(*target).empty()) {
    *error = Format(Tr("%s names no file"), path.c_str());
    return false;
  }
  return true;
}

bool CheckPngTarget(const std::string& path, std::string* error) {
  if (path == "-") return true;
  std::string target;
  if (!ResolvePngTarget(path, &target, error)) return false;
  const std::string directory = DirectoryOf(target);
  struct stat folder {};
  if (stat(directory.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) {
    *error = Format(Tr("no such directory: %s"), directory.c_str());
    return false;
  }
  const long longestName = pathconf(directory.c_str(), _PC_NAME_MAX);
  if (longestName > 0 && BaseOf(target).size() > size_t(longestName)) {
    *error = Format(Tr("cannot write %s: the name is longer than %lld bytes"), path.c_str(), static_cast<long long>(longestName));
    return false;
  }
  // A real temporary file, as the write will make: proves the folder takes new files.
  std::string probe = TemporaryPattern(target);
  const int fd = CreateCleanupFile(probe.data());
  if (fd < 0) {
    *error = Format(Tr("cannot write in %s: %s"), directory.c_str(), std::strerror(errno));
    return false;
  }
  close(fd);
  unlink(probe.c_str());
  SetTerminationCleanupFile(nullptr);
  // In a sticky folder only the owner of a file (or of the folder) may rename over it.
  struct stat existing {};
  const uid_t user = geteuid();
  if ((folder.st_mode & S_ISVTX) && user != 0 && stat(target.c_str(), &existing) == 0 &&
      existing.st_uid != user && folder.st_uid != user) {
    *error = Format(Tr("cannot replace %s: it belongs to another user in a sticky folder"), path.c_str());
    return false;
  }
  return true;
}

bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba,
              std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  if (width <= 0 || height <= 0 || rgba.size() != (size_t)width * height * 4) {
    *error = Tr("the frame has no pixels to write");
    return false;
  }
  EncoderFailure failure;
  if (path == "-") {
    errno = 0;
    bool ok = EncodeTo(stdout, "standard output", width, height, rgba, &failure, error);
    if (ok && (std::fflush(stdout) != 0 || std::ferror(stdout))) {
      *error = Format(Tr("cannot write standard output: %s"), std::strerror(errno));
      ok = false;
    }
    return ok;
  }
  std::string target;
  if (!ResolvePngTarget(path, &target, error)) return false;
  std::string name = TemporaryPattern(target);
  // Named for removal as it is made, so a signal during the write leaves nothing.
  const int fd = CreateCleanupFile(name.data());
  if (fd < 0) {
    *error = Format(Tr("cannot write in %s: %s"), DirectoryOf(target).c_str(), std::strerror(errno));
    return false;
  }
  fchmod(fd, 0644);
  FILE* file = fdopen(fd, "wb");
  if (!file) {
    *error = Format(Tr("cannot write %s: %s"), name.c_str(), std::strerror(errno));
    close(fd);
    unlink(name.c_str());
    SetTerminationCleanupFile(nullptr);
    return false;
  }
  errno = 0;
  bool ok;
  try {
    ok = EncodeTo(file, path, width, height, rgba, &failure, error);
  } catch (const std::bad_alloc&) {
    fclose(file);
    unlink(name.c_str());
    SetTerminationCleanupFile(nullptr);
    throw;
  }
  if (ok && (fflush(file) != 0 || ferror(file))) {
    *error = Format(Tr("cannot write %s: %s"), path.c_str(), std::strerror(errno));
    ok = false;
  }
  if (fclose(file) != 0 && ok) {
    *error = Format(Tr("cannot write %s: %s"), path.c_str(), std::strerror(errno));
    ok = false;
  }
  if (ok && rename(name.c_str(), target.c_str()) != 0) {
    *error = Format(Tr("cannot write %s: %s"), path.c_str(), std::strerror(errno));
    ok = false;
  }
  if (!ok) unlink(name.c_str());
  SetTerminationCleanupFile(nullptr);
  return ok;
}

}  // namespace ambrel
