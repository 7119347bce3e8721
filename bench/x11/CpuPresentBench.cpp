// The CPU renderer's frames put on an X11 window the way XScreenSaver's hacks put
// theirs (MIT-SHM, BGRX rows top down), drawn straight into the shared image as a
// pixel surface's buffer, for bench/peers.sh to set beside them: the
// scene at its default settings over one picture, stepped, described, drawn and
// shown at up to 60 frames a second until SIGTERM. The scene's pictures still go
// through an off-screen OpenGL context once (that is where they are loaded), so
// the peak RSS includes Mesa: a CPU-only presenter would not load it.
//
//   bench_cpu_present WxH GRID_SHIFT PICTURE
#include <signal.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/AmbrelView.h"
#include "host/Settings.h"
#include "image/Pics.h"
#include "platform/egl/OffscreenContext.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/X11Headers.h"
#include "render/CpuFrame.h"
#include "render/GLTextures.h"
#include "scene/GLFrame.h"
#include "scene/SSMain.h"

#include <X11/extensions/XShm.h>

namespace ambrel {
namespace {

volatile sig_atomic_t stopped = 0;
void Stop(int) { stopped = 1; }

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

int Run(int width, int height, int shift, const char* picture) {
  OffscreenContext context;
  std::string error;
  if (!context.Create(width, height, &error)) {
    std::fprintf(stderr, "bench_cpu_present: %s\n", error.c_str());
    return 1;
  }
  SetViewGLState(width, height);
  SetViewProjection(width, height);
  srand(1);
  SETTINGS settings = DefaultSettings().settings;
  settings.WATERSHIFT = shift;
  SSMAIN scene;
  if (!scene.Setup(false, width, height, &settings)) return 1;
  Texture background;
  if (!loadPicFile(picture, &background, settings.BGRES)) return 1;
  scene.backgroundTexture = background.texID;
  background.texID = 0;

  Display* display = XOpenDisplay(nullptr);
  if (!display || !XShmQueryExtension(display)) {
    std::fprintf(stderr, "bench_cpu_present: no X display with MIT-SHM\n");
    return 1;
  }
  const int screen = DefaultScreen(display);
  const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, width, height, 0, 0, 0);
  XStoreName(display, window, "bench_cpu_present");
  XMapWindow(display, window);
  XShmSegmentInfo segment{};
  XImage* image = XShmCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen), ZPixmap,
                                  nullptr, &segment, width, height);
  if (!image || image->bits_per_pixel != 32) return 1;
  segment.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image->bytes_per_line) * height, IPC_CREAT | 0600);
  segment.shmaddr = image->data = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
  XShmAttach(display, &segment);
  XSync(display, False);
  shmctl(segment.shmid, IPC_RMID, nullptr);
  const GC gc = DefaultGC(display, screen);

  CpuTextures textures;
  const PixelBuffer buffer{reinterpret_cast<uint8_t*>(image->data), width, height,
                           static_cast<size_t>(image->bytes_per_line)};
  long frames = 0;
  double next = Now();
  while (!stopped) {
    scene.Update(1.0 / 60);
    SceneFrame frame;
    scene.Describe(&frame);
    ReadGLTextures(frame, &textures);
    DrawSceneFrameCpu(frame, textures, buffer);
    XShmPutImage(display, window, gc, image, 0, 0, 0, 0, width, height, False);
    XSync(display, False);
    ++frames;
    next += 1.0 / 60;
    const double wait = next - Now();
    if (wait > 0) {
      const timespec pause{static_cast<time_t>(wait), static_cast<long>((wait - static_cast<time_t>(wait)) * 1e9)};
      nanosleep(&pause, nullptr);
    } else {
      next = Now();
    }
  }
  std::printf("frames %ld\n", frames);
  XShmDetach(display, &segment);
  shmdt(segment.shmaddr);
  XCloseDisplay(display);
  scene.Cleanup();
  return 0;
}

}  // namespace
}  // namespace ambrel

int main(int argc, char** argv) {
  int width = 0, height = 0;
  if (argc != 4 || std::sscanf(argv[1], "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) {
    std::fprintf(stderr, "usage: bench_cpu_present WxH GRID_SHIFT PICTURE\n");
    return 2;
  }
  struct sigaction action {};
  action.sa_handler = ambrel::Stop;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  ambrel::InstallLinuxPlatform();
  return ambrel::Run(width, height, std::atoi(argv[2]), argv[3]);
}
