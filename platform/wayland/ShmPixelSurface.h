// A view's pixel surface on a wl_surface: XRGB8888 wl_shm buffers, each in a
// memfd pool of its own, written by the view and handed to the compositor.
#pragma once

#include <wayland-client.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/PixelSurface.h"

namespace ambrel {

class ShmPixelSurface : public PixelSurface {
 public:
  // The largest side a buffer may have, as for the GL path's surfaces.
  static constexpr int kLargestSide = 16384;

  // scale: the output's buffer scale; size: the drawing size in pixels.
  ShmPixelSurface(wl_shm* shm, wl_surface* surface, Size size, int scale);
  ~ShmPixelSurface() override;
  ShmPixelSurface(const ShmPixelSurface&) = delete;
  ShmPixelSurface& operator=(const ShmPixelSurface&) = delete;

  void SetSize(Size size) override;
  PixelBuffer Acquire() override;
  void Present() override;
  // A black frame, presented: the surface is mapped by its first buffer.
  void ShowBlack();
  // Called before each commit, while the frame's surface state is still open (a
  // frame callback asked for then comes with the frame's commit).
  void SetBeforeCommit(std::function<void()> call) { beforeCommit_ = std::move(call); }
  // Called when the view lets the surface go.
  void SetOnGone(std::function<void()> call) { onGone_ = std::move(call); }

  // One wl_buffer and its pool's mapping. Public for the release listener.
  struct Slot {
    ShmPixelSurface* owner = nullptr;
    wl_buffer* buffer = nullptr;
    uint8_t* pixels = nullptr;
    size_t bytes = 0;
    int width = 0, height = 0;
    size_t stride = 0;
    bool busy = false;   // the compositor holds it
    bool fresh = false;  // never presented: all zero
  };
  void Released(Slot* slot);

 private:
  // Two buffers take turns; a third when the compositor holds both.
  static constexpr int kSlots = 3;
  std::unique_ptr<Slot> Make(int width, int height);
  static void Free(std::unique_ptr<Slot>& slot);

  wl_shm* shm_;
  wl_surface* surface_;
  int width_ = 1, height_ = 1;
  std::unique_ptr<Slot> slots_[kSlots];
  Slot* acquired_ = nullptr;
  int failedWidth_ = 0, failedHeight_ = 0;  // a size no pool could be made for
  bool complained_ = false;                 // one line on stderr per surface, not one a frame
  std::function<void()> beforeCommit_;
  std::function<void()> onGone_;
};

}  // namespace ambrel
