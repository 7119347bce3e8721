#include "support/GLU.h"

#ifdef __APPLE__
#include <OpenGL/glu.h>
#else
#include <dlfcn.h>

#include <cstdio>
#endif

namespace ambrel {

#ifdef __APPLE__

// The OpenGL framework has GLU in it, loaded with the program.
void gluPerspective(double fovy, double aspect, double zNear, double zFar) { ::gluPerspective(fovy, aspect, zNear, zFar); }
void gluLookAt(double eyeX, double eyeY, double eyeZ, double centerX, double centerY, double centerZ, double upX,
               double upY, double upZ) {
  ::gluLookAt(eyeX, eyeY, eyeZ, centerX, centerY, centerZ, upX, upY, upZ);
}

#else

namespace {

void* Library() {
  static void* const library = [] {
    void* loaded = dlopen("libGLU.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!loaded) std::fprintf(stderr, "ambrel: cannot load GLU: %s\n", dlerror());
    return loaded;
  }();
  return library;
}

template <typename Function>
Function* Find(const char* name) {
  return Library() ? reinterpret_cast<Function*>(dlsym(Library(), name)) : nullptr;
}

}  // namespace

void gluPerspective(double fovy, double aspect, double zNear, double zFar) {
  static auto* const call = Find<void(double, double, double, double)>("gluPerspective");
  if (call) call(fovy, aspect, zNear, zFar);
}

void gluLookAt(double eyeX, double eyeY, double eyeZ, double centerX, double centerY, double centerZ, double upX,
               double upY, double upZ) {
  static auto* const call =
      Find<void(double, double, double, double, double, double, double, double, double)>("gluLookAt");
  if (call) call(eyeX, eyeY, eyeZ, centerX, centerY, centerZ, upX, upY, upZ);
}


#endif

}  // namespace ambrel
