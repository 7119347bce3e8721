#include "platform/wayland/WaylandCapture.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>

namespace ambrel {
namespace {

struct CaptureState {
  uint32_t format = 0, width = 0, height = 0, stride = 0;
  bool bufferKnown = false, buffersDone = false;
  bool yInvert = false;
  bool ready = false, failed = false;
};

void FrameBuffer(void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width, uint32_t height,
                 uint32_t stride) {
  auto* state = static_cast<CaptureState*>(data);
  state->format = format;
  state->width = width;
  state->height = height;
  state->stride = stride;
  state->bufferKnown = true;
}
void FrameFlags(void* data, zwlr_screencopy_frame_v1*, uint32_t flags) {
  static_cast<CaptureState*>(data)->yInvert = flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
}
void FrameReady(void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {
  static_cast<CaptureState*>(data)->ready = true;
}
void FrameFailed(void* data, zwlr_screencopy_frame_v1*) { static_cast<CaptureState*>(data)->failed = true; }
void FrameDamage(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void FrameDmabuf(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {}
void FrameBufferDone(void* data, zwlr_screencopy_frame_v1*) { static_cast<CaptureState*>(data)->buffersDone = true; }
const zwlr_screencopy_frame_v1_listener kFrameListener = {FrameBuffer, FrameFlags,  FrameReady,     FrameFailed,
                                                          FrameDamage, FrameDmabuf, FrameBufferDone};

// Byte positions of red, green and blue in one pixel of a 32-bit shm format.
bool ChannelOrder(uint32_t format, int* red, int* green, int* blue) {
  switch (format) {
    case WL_SHM_FORMAT_ARGB8888:
    case WL_SHM_FORMAT_XRGB8888:
      *red = 2, *green = 1, *blue = 0;
      return true;
    case WL_SHM_FORMAT_ABGR8888:
    case WL_SHM_FORMAT_XBGR8888:
      *red = 0, *green = 1, *blue = 2;
      return true;
    default:
      return false;
  }
}

}  // namespace

bool CaptureOutput(wl_display* display, wl_shm* shm, zwlr_screencopy_manager_v1* manager, uint32_t version,
                   wl_output* output, CapturedImage* out) {
  CaptureState state;
  zwlr_screencopy_frame_v1* frame = zwlr_screencopy_manager_v1_capture_output(manager, 0, output);
  zwlr_screencopy_frame_v1_add_listener(frame, &kFrameListener, &state);
  // Version 3 lists every buffer kind and then says it is done; before that, the
  // shm description is all there is.
  auto described = [&] { return state.failed || (version >= 3 ? state.buffersDone : state.bufferKnown); };
  while (!described())
    if (wl_display_dispatch(display) < 0) break;
  bool ok = false;
  int red = 0, green = 0, blue = 0;
  if (!state.failed && state.bufferKnown && ChannelOrder(state.format, &red, &green, &blue) && state.width > 0 &&
      state.height > 0 && state.stride >= state.width * 4) {
    const size_t bytes = size_t(state.stride) * state.height;
    const int fd = memfd_create("ambrel-capture", MFD_CLOEXEC);
    void* map = MAP_FAILED;
    if (fd >= 0 && ftruncate(fd, off_t(bytes)) == 0)
      map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map != MAP_FAILED) {
      wl_shm_pool* pool = wl_shm_create_pool(shm, fd, int32_t(bytes));
      wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, int32_t(state.width), int32_t(state.height),
                                                    int32_t(state.stride), state.format);
      zwlr_screencopy_frame_v1_copy(frame, buffer);
      while (!state.ready && !state.failed)
        if (wl_display_dispatch(display) < 0) break;
      if (state.ready) {
        out->width = int(state.width);
        out->height = int(state.height);
        out->pixels.assign(size_t(state.width) * state.height * 4, 0);
        const auto* source = static_cast<const uint8_t*>(map);
        for (uint32_t row = 0; row < state.height; ++row) {
          // Ours is bottom row first; the copy is top row first unless inverted.
          const uint32_t from = state.yInvert ? row : state.height - 1 - row;
          const uint8_t* in = source + size_t(from) * state.stride;
          uint8_t* to = out->pixels.data() + size_t(row) * state.width * 4;
          for (uint32_t column = 0; column < state.width; ++column, in += 4, to += 4) {
            to[0] = in[red];
            to[1] = in[green];
            to[2] = in[blue];
            to[3] = 255;
          }
        }
        ok = true;
      }
      wl_buffer_destroy(buffer);
      wl_shm_pool_destroy(pool);
      munmap(map, bytes);
    }
    if (fd >= 0) close(fd);
  }
  zwlr_screencopy_frame_v1_destroy(frame);
  return ok;
}

}  // namespace ambrel

