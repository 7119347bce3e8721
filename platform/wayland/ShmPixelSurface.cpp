#include "platform/wayland/ShmPixelSurface.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace ambrel {
namespace {

void BufferRelease(void* data, wl_buffer*) {
  auto* slot = static_cast<ShmPixelSurface::Slot*>(data);
  slot->owner->Released(slot);
}
const wl_buffer_listener kBufferListener = {BufferRelease};

// Truncated like the view's own size; never below one pixel, and anything past
// the largest side stays past it, to be refused.
int Side(double value) {
  if (!(value >= 1)) return 1;
  return int(std::min(value, double(ShmPixelSurface::kLargestSide) + 1));
}

}  // namespace

ShmPixelSurface::ShmPixelSurface(wl_shm* shm, wl_surface* surface, Size size, int scale)
    : shm_(shm), surface_(surface), width_(Side(size.width)), height_(Side(size.height)) {
  wl_surface_set_buffer_scale(surface_, std::max(1, scale));
}

ShmPixelSurface::~ShmPixelSurface() {
  if (onGone_) onGone_();
  for (auto& slot : slots_) Free(slot);
}

void ShmPixelSurface::SetSize(Size size) {
  width_ = Side(size.width);
  height_ = Side(size.height);
  // A new size gets a new try.
  if (width_ != failedWidth_ || height_ != failedHeight_) failedWidth_ = failedHeight_ = 0;
}

std::unique_ptr<ShmPixelSurface::Slot> ShmPixelSurface::Make(int width, int height) {
  const char* failure = nullptr;
  const size_t stride = size_t(width) * 4;
  const size_t bytes = stride * size_t(height);
  auto slot = std::make_unique<Slot>();
  int fd = -1;
  void* map = MAP_FAILED;
  errno = 0;
  if (width > kLargestSide || height > kLargestSide || bytes > size_t(INT32_MAX)) {
    failure = "larger than the largest drawing size";
  } else if ((fd = memfd_create("ambrel-frame", MFD_CLOEXEC | MFD_ALLOW_SEALING)) < 0) {
    failure = "memfd_create";
  } else if (ftruncate(fd, off_t(bytes)) != 0) {
    failure = "ftruncate";
  } else if ((map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)) == MAP_FAILED) {
    failure = "mmap";
  }
  if (failure) {
    const int error = errno;
    if (fd >= 0) close(fd);
    if (!complained_) {
      complained_ = true;
      std::fprintf(stderr, "ambrel: no %dx%d shared-memory frame for the compositor (%s%s%s); frames are skipped\n",
                   width, height, failure, error ? ": " : "", error ? std::strerror(error) : "");
    }
    return nullptr;
  }
  // The compositor maps the pool too: a pool that cannot shrink cannot fault it.
  fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_SEAL);
  wl_shm_pool* pool = wl_shm_create_pool(shm_, fd, int32_t(bytes));
  slot->buffer =
      wl_shm_pool_create_buffer(pool, 0, width, height, int32_t(stride), WL_SHM_FORMAT_XRGB8888);
  wl_shm_pool_destroy(pool);
  close(fd);
  slot->owner = this;
  slot->pixels = static_cast<uint8_t*>(map);
  slot->bytes = bytes;
  slot->width = width;
  slot->height = height;
  slot->stride = stride;
  slot->fresh = true;
  wl_buffer_add_listener(slot->buffer, &kBufferListener, slot.get());
  return slot;
}

void ShmPixelSurface::Free(std::unique_ptr<Slot>& slot) {
  if (!slot) return;
  // The compositor keeps its own mapping of a buffer it still shows.
  wl_buffer_destroy(slot->buffer);
  munmap(slot->pixels, slot->bytes);
  slot.reset();
}

void ShmPixelSurface::Released(Slot* slot) {
  slot->busy = false;
  // A buffer of a size gone by is not needed again.
  for (auto& held : slots_)
    if (held.get() == slot && (slot->width != width_ || slot->height != height_)) Free(held);
}

PixelBuffer ShmPixelSurface::Acquire() {
  const auto current = [this](const Slot& slot) { return slot.width == width_ && slot.height == height_; };
  if (acquired_ && !current(*acquired_)) acquired_ = nullptr;
  for (auto& slot : slots_) {
    if (acquired_) break;
    if (slot && !slot->busy) {
      if (current(*slot)) acquired_ = slot.get();
      else Free(slot);
    }
  }
  if (!acquired_ && !(width_ == failedWidth_ && height_ == failedHeight_)) {
    // Every buffer is with the compositor (or there is none yet): one more, up to
    // three; past that the frame is skipped rather than waited for.
    for (auto& slot : slots_) {
      if (slot) continue;
      slot = Make(width_, height_);
      if (slot) {
        acquired_ = slot.get();
      } else {
        failedWidth_ = width_;
        failedHeight_ = height_;
      }
      break;
    }
  }
  if (!acquired_) return PixelBuffer{};
  return PixelBuffer{acquired_->pixels, acquired_->width, acquired_->height, acquired_->stride};
}

void ShmPixelSurface::Present() {
  if (!acquired_) return;
  Slot* slot = acquired_;
  acquired_ = nullptr;
  wl_surface_attach(surface_, slot->buffer, 0, 0);
  if (wl_surface_get_version(surface_) >= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION)
    wl_surface_damage_buffer(surface_, 0, 0, slot->width, slot->height);
  else
    wl_surface_damage(surface_, 0, 0, INT32_MAX, INT32_MAX);
  if (beforeCommit_) beforeCommit_();
  wl_surface_commit(surface_);
  slot->busy = true;
  slot->fresh = false;
}

void ShmPixelSurface::ShowBlack() {
  const PixelBuffer buffer = Acquire();
  if (!buffer.pixels) return;
  // XRGB zero is black, and a new pool is all zero.
  if (!acquired_->fresh) std::memset(buffer.pixels, 0, buffer.stride * size_t(buffer.height));
  Present();
}

}  // namespace ambrel
