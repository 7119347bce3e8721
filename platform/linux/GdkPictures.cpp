#include <fcntl.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/PictureCache.h"
#include "platform/Pictures.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/UserFile.h"

extern char** environ;

namespace ambrel {

namespace {

// Only these decoders see the user's files: some of GdkPixbuf's other loaders trust
// header fields so far that a few hundred bytes of a hostile file claim gigabytes
// while the header is still being read.
const char* SniffFormat(const unsigned char* head, size_t size) {
  if (size >= 8 && std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0) return "png";
  if (size >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return "jpeg";
  if (size >= 6 && (std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0))
    return "gif";
  if (size >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0)
    return "webp";
  return nullptr;
}

bool SizeAllowed(int wide, int high) {
  return wide > 0 && high > 0 && wide <= kMaxPictureSide && high <= kMaxPictureSide &&
         static_cast<long long>(wide) * high <= kMaxPicturePixels;
}

// The loader announces the size from the header, before it allocates the pixels; a
// requested size of 0 x 0 makes it stop there.
void OnSizePrepared(GdkPixbufLoader* loader, int wide, int high, gpointer refused) {
  if (SizeAllowed(wide, high)) return;
  *static_cast<bool*>(refused) = true;
  gdk_pixbuf_loader_set_size(loader, 0, 0);
}

// The lowest row the loader has filled: GdkPixbuf's PNG loader closes a file cut
// short without an error, its missing rows left blank.
void OnAreaUpdated(GdkPixbufLoader*, int, int y, int, int high, gpointer bottom) {
  *static_cast<int*>(bottom) = std::max(*static_cast<int*>(bottom), y + high);
}

double Seconds() { return g_get_monotonic_time() / 1e6; }

// Fed in chunks with the budget checked between them: GdkPixbuf's GIF decoder
// crawls through damaged data (2 MB a second through zeros) and goes over a large
// picture again at every chunk. Smaller chunks would make that second case slower.
GdkPixbuf* Decode(UserFile& file, std::string* why) {
  const double deadline = Seconds() + kPictureDecodeSeconds;
  unsigned char chunk[65536];
  long count = file.read(chunk, sizeof chunk);
  const char* format = count > 0 ? SniffFormat(chunk, size_t(count)) : nullptr;
  if (!format) {
    *why = count < 0 ? DescribeUserFileError(file.error(), kMaxPictureFileBytes)
                     : "is not a PNG, JPEG, GIF or WebP picture";
    return nullptr;
  }

  GError* error = nullptr;
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type(format, &error);
  if (!loader) {
    g_clear_error(&error);
    *why = std::string("cannot be decoded: this system has no ") + format + " decoder";
    return nullptr;
  }
  bool refused = false;
  g_signal_connect(loader, "size-prepared", G_CALLBACK(OnSizePrepared), &refused);
  int bottom = 0;
  g_signal_connect(loader, "area-updated", G_CALLBACK(OnAreaUpdated), &bottom);

  bool written = true, late = false, noMemory = false;
  // The decoder's pixels may not fit under a memory limit: that is no fault of the file.
  auto note = [&](GError* failure) {
    noMemory = noMemory || g_error_matches(failure, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY);
  };
  while (written && !refused && count > 0) {
    written = gdk_pixbuf_loader_write(loader, chunk, size_t(count), &error);
    note(error);
    g_clear_error(&error);
    if (Seconds() > deadline) {
      late = true;
      break;
    }
    count = file.read(chunk, sizeof chunk);
  }
  const bool closed = gdk_pixbuf_loader_close(loader, &error);
  note(error);
  g_clear_error(&error);
  GdkPixbuf* decoded = nullptr;
  if (late) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", kPictureDecodeSeconds);
    *why = std::string("takes more than ") + seconds + " seconds to decode";
  } else if (refused) {
    *why = "is larger than " + std::to_string(kMaxPictureSide) + " pixels a side or " +
           std::to_string(kMaxPicturePixels >> 20) + " megapixels";
  } else if (count < 0) {
    *why = DescribeUserFileError(file.error(), kMaxPictureFileBytes);
  } else if (written && closed) {
    decoded = gdk_pixbuf_loader_get_pixbuf(loader);
    // PNG and JPEG fill rows top down; a GIF's first frame may cover part of it.
    const bool rowsKnown = std::strcmp(format, "png") == 0 || std::strcmp(format, "jpeg") == 0;
    if (decoded && rowsKnown && bottom < gdk_pixbuf_get_height(decoded)) {
      *why = "is cut short";
      decoded = nullptr;
    }
    if (decoded) g_object_ref(decoded);
  }
  if (!decoded && why->empty()) *why = noMemory ? "cannot be decoded: there is not enough memory" : "is damaged";
  g_object_unref(loader);
  return decoded;
}

}  // namespace

// The whole decode, in the process that calls it: what the decoding child runs,
// and what the picture fuzzer calls, for a crash in it to show.
bool DecodePictureHere(const char* path, PictureBitmap* bitmap, std::string* why) {
  UserFile file(path, kMaxPictureFileBytes);
  if (!file.isOpen()) {
    *why = DescribeUserFileError(file.error(), kMaxPictureFileBytes);
    return false;
  }
  if (file.size() == 0) {
    *why = DescribeUserFileError(UserFileError::kEmpty, kMaxPictureFileBytes);
    return false;
  }
  GdkPixbuf* decoded = Decode(file, why);
  if (!decoded) return false;

  GdkPixbuf* upright = gdk_pixbuf_apply_embedded_orientation(decoded);
  g_object_unref(decoded);
  if (!upright) {
    *why = "is damaged";
    return false;
  }

  const int channels = gdk_pixbuf_get_n_channels(upright);
  const int wide = gdk_pixbuf_get_width(upright);
  const int high = gdk_pixbuf_get_height(upright);
  if (gdk_pixbuf_get_colorspace(upright) != GDK_COLORSPACE_RGB ||
      gdk_pixbuf_get_bits_per_sample(upright) != 8 || (channels != 3 && channels != 4) ||
      !SizeAllowed(wide, high)) {
    g_object_unref(upright);
    *why = "has a pixel format Ambrel cannot show";
    return false;
  }

  bitmap->pixelsWide = wide;
  bitmap->pixelsHigh = high;
  bitmap->bitsPerPixel = channels * 8;
  bitmap->bytesPerRow = gdk_pixbuf_get_rowstride(upright);
  bitmap->bitmapData = gdk_pixbuf_read_pixels(upright);
  bitmap->storage =
      std::shared_ptr<const void>(upright, [](const void* p) { g_object_unref(const_cast<void*>(p)); });
  return true;
}

namespace {

// --- the decoder apart ------------------------------------------------------------
//
// GdkPixbuf cannot be stopped inside one write (its JPEG loader makes a full
// output pass for every progressive scan of it), and a thread cannot be
// cancelled; a child process can be killed. The program runs itself again in the
// hidden mode below, which decodes one file and writes what it found to its
// standard output: a header, then the reason or the pixel rows, tightly packed.

constexpr const char* kDecodeMode = "--ambrel-decode-picture";

struct DecodeHeader {
  int32_t wide = 0, high = 0, channels = 0, whyLength = 0;
};

bool WriteAll(int fd, const void* data, size_t size) {
  const char* from = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t done = write(fd, from, size);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    from += done;
    size -= size_t(done);
  }
  return true;
}

int DecodeToPipe(const char* path, int out) {
  PictureBitmap bitmap;
  std::string why;
  DecodeHeader header;
  if (!DecodePictureHere(path, &bitmap, &why)) {
    header.whyLength = int32_t(why.size());
    return WriteAll(out, &header, sizeof header) && WriteAll(out, why.data(), why.size()) ? 0 : 1;
  }
  header.wide = bitmap.pixelsWide;
  header.high = bitmap.pixelsHigh;
  header.channels = bitmap.bitsPerPixel / 8;
  if (!WriteAll(out, &header, sizeof header)) return 1;
  const size_t row = size_t(header.wide) * size_t(header.channels);
  for (int y = 0; y < header.high; ++y)
    if (!WriteAll(out, bitmap.bitmapData + size_t(y) * size_t(bitmap.bytesPerRow), row)) return 1;
  return 0;
}

// Runs before anything else of the program's, in every program that decodes
// pictures (tests too), so the hidden mode needs no help from their main().
__attribute__((constructor)) void RunDecodeMode(int argc, char** argv, char**) {
  if (argc != 4 || std::strcmp(argv[1], kDecodeMode) != 0) return;
  // Ends with the run that asked, whichever way that ends.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (std::to_string(getppid()) != argv[3]) _exit(1);
  _exit(DecodeToPipe(argv[2], STDOUT_FILENO));
}

std::string TooSlow() {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%g", kPictureDecodeSeconds);
  return std::string("takes more than ") + seconds + " seconds to decode";
}

pid_t SpawnDecoder(const char* path, int* out) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  // A decoder's complaints about a damaged file are ours to put in one line.
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const std::string parent = std::to_string(getpid());
  char* argv[] = {const_cast<char*>("ambrel-decode"), const_cast<char*>(kDecodeMode), const_cast<char*>(path),
                  const_cast<char*>(parent.c_str()), nullptr};
  pid_t child = -1;
  const int failed = posix_spawn(&child, "/proc/self/exe", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (failed != 0) {
    close(fds[0]);
    return -1;
  }
  fcntl(fds[0], F_SETFL, O_NONBLOCK);
  *out = fds[0];
  return child;
}

DecodeOutcome DecodeApart(const char* path, PictureBitmap* bitmap, std::string* why) {
  Platform& platform = CurrentPlatform();
  if (!platform.keepInputLive()) return DecodeOutcome::kAbandoned;
  int pipeFd = -1;
  const pid_t child = SpawnDecoder(path, &pipeFd);
  // Without /proc the decoder runs here, its budget checked between writes.
  if (child < 0) return DecodePictureHere(path, bitmap, why) ? DecodeOutcome::kDecoded : DecodeOutcome::kRefused;

  const double deadline = Seconds() + kPictureDecodeSeconds;
  DecodeHeader header;
  size_t headerDone = 0, bodyDone = 0, bodySize = 0;
  std::string reason;
  auto pixels = std::make_shared<std::vector<unsigned char>>();
  DecodeOutcome outcome = DecodeOutcome::kRefused;
  bool ended = false;
  while (!ended) {
    if (!platform.keepInputLive()) {
      outcome = DecodeOutcome::kAbandoned;
      break;
    }
    const double left = deadline - Seconds();
    if (left <= 0) {
      *why = TooSlow();
      break;
    }
    // Short waits, so that input is taken within a frame or two.
    pollfd fd{pipeFd, POLLIN, 0};
    if (poll(&fd, 1, std::min(20, int(left * 1000) + 1)) <= 0) continue;
    for (;;) {
      ssize_t got = 0;
      if (headerDone < sizeof header) {
        got = read(pipeFd, reinterpret_cast<char*>(&header) + headerDone, sizeof header - headerDone);
        if (got > 0 && (headerDone += size_t(got)) == sizeof header) {
          const long long pixelsCount = (long long)header.wide * header.high;
          if (header.whyLength > 0 && header.whyLength < 4096) {
            bodySize = size_t(header.whyLength);
          } else if (header.whyLength == 0 && header.wide > 0 && header.high > 0 && header.wide <= kMaxPictureSide &&
                     header.high <= kMaxPictureSide && pixelsCount <= kMaxPicturePixels &&
                     (header.channels == 3 || header.channels == 4)) {
            bodySize = size_t(pixelsCount) * size_t(header.channels);
          } else {
            ended = true;
            break;
          }
          if (header.whyLength > 0) reason.resize(bodySize);
          else pixels->resize(bodySize);
        }
      } else if (bodyDone < bodySize) {
        char* into = header.whyLength > 0 ? &reason[0] : reinterpret_cast<char*>(pixels->data());
        got = read(pipeFd, into + bodyDone, bodySize - bodyDone);
        if (got > 0) bodyDone += size_t(got);
      } else {
        char extra;
        got = read(pipeFd, &extra, 1);
        if (got == 0) ended = true;  // the whole answer, and the end of it
        if (got > 0) {
          ended = true;  // more than it should have said: not an answer
          bodyDone = 0;
        }
        if (got >= 0) break;
      }
      if (got == 0) {
        ended = true;
        break;
      }
      if (got < 0) {
        if (errno == EINTR) continue;
        if (errno != EAGAIN) ended = true;
        break;
      }
    }
  }
  close(pipeFd);
  kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (outcome == DecodeOutcome::kAbandoned) {
    why->clear();
    return outcome;
  }
  const bool complete = ended && headerDone == sizeof header && bodySize > 0 && bodyDone == bodySize;
  if (complete && header.whyLength > 0) {
    *why = reason;
  } else if (complete) {
    bitmap->pixelsWide = header.wide;
    bitmap->pixelsHigh = header.high;
    bitmap->bitsPerPixel = header.channels * 8;
    bitmap->bytesPerRow = header.wide * header.channels;
    bitmap->bitmapData = pixels->data();
    bitmap->storage = pixels;
    return DecodeOutcome::kDecoded;
  } else if (why->empty()) {
    // The decoder died on the file, or said something that is no answer.
    *why = "is damaged";
  }
  return DecodeOutcome::kRefused;
}

}  // namespace

bool ReadPictureWithGdk(const char* path, PictureBitmap* bitmap, std::string* why) {
  return ReadPictureOnce(path, bitmap, why, DecodeApart);
}

}  // namespace ambrel
