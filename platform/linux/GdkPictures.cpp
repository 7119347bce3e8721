#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/Pictures.h"
#include "platform/UserFile.h"

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
    if (decoded) g_object_ref(decoded);
  }
  if (!decoded && why->empty()) *why = noMemory ? "cannot be decoded: there is not enough memory" : "is damaged";
  g_object_unref(loader);
  return decoded;
}

}  // namespace

bool ReadPicture(const char* path, PictureBitmap* bitmap, std::string* why) {
  std::string ignored;
  if (!why) why = &ignored;
  why->clear();
  if (!path || !bitmap) {
    *why = "is not named";
    return false;
  }
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
