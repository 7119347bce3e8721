#include <gdk-pixbuf/gdk-pixbuf.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "platform/Pictures.h"

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

GdkPixbuf* Decode(FILE* file) {
  unsigned char chunk[65536];
  size_t count = std::fread(chunk, 1, sizeof chunk, file);
  const char* format = SniffFormat(chunk, count);
  if (!format) return nullptr;

  GError* error = nullptr;
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type(format, &error);
  if (!loader) {
    g_clear_error(&error);
    return nullptr;
  }
  bool refused = false;
  g_signal_connect(loader, "size-prepared", G_CALLBACK(OnSizePrepared), &refused);

  bool written = true;
  while (written && !refused && count > 0) {
    written = gdk_pixbuf_loader_write(loader, chunk, count, &error);
    g_clear_error(&error);
    count = std::fread(chunk, 1, sizeof chunk, file);
  }
  const bool closed = gdk_pixbuf_loader_close(loader, &error);
  g_clear_error(&error);
  GdkPixbuf* decoded = nullptr;
  if (written && closed && !refused && !std::ferror(file)) {
    decoded = gdk_pixbuf_loader_get_pixbuf(loader);
    if (decoded) g_object_ref(decoded);
  }
  g_object_unref(loader);
  return decoded;
}

}  // namespace

bool ReadPicture(const char* path, PictureBitmap* bitmap) {
  if (!path || !bitmap) return false;
  struct stat info;
  if (stat(path, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  GdkPixbuf* decoded = Decode(file);
  std::fclose(file);
  if (!decoded) return false;

  GdkPixbuf* upright = gdk_pixbuf_apply_embedded_orientation(decoded);
  g_object_unref(decoded);
  if (!upright) return false;

  const int channels = gdk_pixbuf_get_n_channels(upright);
  const int wide = gdk_pixbuf_get_width(upright);
  const int high = gdk_pixbuf_get_height(upright);
  if (gdk_pixbuf_get_colorspace(upright) != GDK_COLORSPACE_RGB ||
      gdk_pixbuf_get_bits_per_sample(upright) != 8 || (channels != 3 && channels != 4) ||
      !SizeAllowed(wide, high)) {
    g_object_unref(upright);
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
