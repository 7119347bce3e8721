// Whether an OpenGL context can be had here, and on what, asked of a child
// process: the drivers (and Mesa's LLVM) stay out of this one, which may never
// draw with OpenGL at all.
#pragma once

#include <string>

namespace ambrel {

struct GLProbeResult {
  bool context = false;  // an off-screen context was made
  std::string renderer;  // its GL_RENDERER, when made
  std::string why;       // why not, when not
};

// Makes an off-screen context in a forked child and reads its GL_RENDERER back
// through a pipe. A child that has not answered within timeoutMilliseconds (a
// hung driver) counts as no context; it is killed and reaped either way. An
// ending signal ends the process as usual meanwhile (the termination handlers
// are installed; call it while no TerminationListener listens).
GLProbeResult ProbeOpenGL(int timeoutMilliseconds = 4000);

}  // namespace ambrel
