#include "tools/ambrel/PngWriter.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

// The reason a write failed, kept for the message instead of libpng's own stderr line.
struct EncoderFailure {
  int savedErrno = 0;
  std::string message;
};

void OnPngError(png_structp png, png_const_charp message) {
  auto* failure = static_cast<EncoderFailure*>(png_get_error_ptr(png));
  failure->savedErrno = errno;
  failure->message = message ? message : "unknown error";
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
    *error = "cannot start the PNG encoder";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    *error = "cannot start the PNG encoder";
    return false;
  }
  std::vector<png_byte> row((size_t)width * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    *error = "cannot write " + path + ": " +
             (failure->savedErrno != 0 ? std::strerror(failure->savedErrno) : failure->message);
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

bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba,
              std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  if (width <= 0 || height <= 0 || rgba.size() != (size_t)width * height * 4) {
    *error = "the frame has no pixels to write";
    return false;
  }
  std::string temporary = DirectoryOf(path) + "/." + BaseOf(path) + ".XXXXXX";
  std::vector<char> name(temporary.begin(), temporary.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) {
    *error = "cannot write in " + DirectoryOf(path) + ": " + std::strerror(errno);
    return false;
  }
  fchmod(fd, 0644);
  FILE* file = fdopen(fd, "wb");
  if (!file) {
    *error = std::string("cannot write ") + name.data() + ": " + std::strerror(errno);
    close(fd);
    unlink(name.data());
    return false;
  }
  errno = 0;
  EncoderFailure failure;
  bool ok = EncodeTo(file, path, width, height, rgba, &failure, error);
  if (ok && (fflush(file) != 0 || ferror(file))) {
    *error = std::string("cannot write ") + path + ": " + std::strerror(errno);
    ok = false;
  }
  if (fclose(file) != 0 && ok) {
    *error = std::string("cannot write ") + path + ": " + std::strerror(errno);
    ok = false;
  }
  if (ok && rename(name.data(), path.c_str()) != 0) {
    *error = std::string("cannot write ") + path + ": " + std::strerror(errno);
    ok = false;
  }
  if (!ok) unlink(name.data());
  return ok;
}
