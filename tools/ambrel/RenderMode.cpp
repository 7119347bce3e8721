#include "tools/ambrel/RenderMode.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "image/Texture.h"
#include "platform/egl/OffscreenContext.h"
#include "scene/SSMain.h"
#include "tools/ambrel/PngWriter.h"
#include "tools/ambrel/PoolPattern.h"

namespace {

// The host's per-frame projection: a 45 degree perspective, then a fresh modelview.
void Reshape(int width, int height) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, (float)width / (float)height, 1.0, 100.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// The host's one-time state for a drawable of this size.
void InitGL(int width, int height) {
  glViewport(0, 0, width, height);
  glShadeModel(GL_SMOOTH);
  glClearColor(0, 0, 0, 0);
  glClearDepth(1.0);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_COLOR_MATERIAL);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  Reshape(width, height);
}

// Refuse early, before minutes of rendering, when the file could never be written.
bool CheckOutputPath(const std::string& path, std::string* error) {
  struct stat info {};
  if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    *error = path + " is a directory";
    return false;
  }
  size_t slash = path.find_last_of('/');
  std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  if (stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    *error = "no such directory: " + directory;
    return false;
  }
  if (access(directory.c_str(), W_OK) != 0) {
    *error = "cannot write in " + directory;
    return false;
  }
  return true;
}

struct SceneDeleter {
  void operator()(SSMAIN* scene) const {
    scene->Cleanup();
    delete scene;
  }
};

}  // namespace

int RunRenderMode(const RenderOptions& options) {
  std::string error;
  // Past a file-size limit a write should fail and be cleaned up, not kill the program
  // with a temporary file left behind.
  signal(SIGXFSZ, SIG_IGN);
  if (!CheckOutputPath(options.output, &error)) {
    std::fprintf(stderr, "ambrel: %s\n", error.c_str());
    return 1;
  }

  OffscreenContext context;
  if (!context.Create(options.width, options.height, &error)) {
    std::fprintf(stderr, "ambrel: cannot create an off-screen OpenGL context of %dx%d: %s\n", options.width,
                 options.height, error.c_str());
    return 1;
  }
  InitGL(options.width, options.height);

  uint32_t seed = options.seedGiven ? options.seed : (uint32_t)time(nullptr);
  srand(seed);
  SETTINGS settings = options.settings;
  std::unique_ptr<SSMAIN, SceneDeleter> scene(new SSMAIN());
  if (!scene->Setup(options.preview, options.width, options.height, &settings)) {
    std::fprintf(stderr, "ambrel: cannot build the scene (out of memory)\n");
    return 1;
  }

  Texture background;
  if (!MakePoolPattern(&background) || !BuildTexture(&background, 0)) {
    std::fprintf(stderr, "ambrel: cannot make the background picture (out of memory)\n");
    return 1;
  }
  scene->backgroundTexture = background.texID;
  background.texID = 0;

  const int64_t frames = FrameCount(options);
  const bool showProgress = frames >= 120;
  std::fprintf(stderr, "ambrel: rendering %lld frames of %dx%d (%.2f s of scene time), seed %u\n",
               (long long)frames, options.width, options.height, frames * options.frameTime, seed);

  for (int64_t frame = 1; frame <= frames; ++frame) {
    scene->Update(options.frameTime);
    Reshape(options.width, options.height);
    scene->Draw();

    bool write = options.every > 0 ? frame % options.every == 0 : frame == frames;
    if (write) {
      glFinish();
      std::string path = options.every > 0 ? NumberedPath(options.output, frame) : options.output;
      if (!WritePng(path, options.width, options.height, context.ReadPixelsTopDown(), &error)) {
        std::fprintf(stderr, "ambrel: %s\n", error.c_str());
        return 1;
      }
      std::printf("%s\n", path.c_str());
      std::fflush(stdout);
    }
    if (showProgress && frame % (frames / 10) == 0 && frame < frames)
      std::fprintf(stderr, "ambrel: frame %lld of %lld\n", (long long)frame, (long long)frames);
  }
  return 0;
}
