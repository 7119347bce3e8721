// Who draws this run's frames, worked out from --renderer: auto asks a context
// made in a child process, so that a run that ends up on the CPU has loaded no
// OpenGL driver.
#pragma once

#include <string>

#include "host/AmbrelView.h"
#include "tools/ambrel/CommandLine.h"

namespace ambrel {

struct ResolvedRenderer {
  FrameRenderer renderer = FrameRenderer::kGL;
  // For messages: "OpenGL (Mesa Intel(R) UHD Graphics 620)", "the CPU renderer
  // (OpenGL would be llvmpipe (LLVM 15.0.6, 256 bits))", "the CPU renderer (no
  // OpenGL context)".
  std::string description;
};

// gl and cpu are taken as given, without a probe; auto takes the CPU renderer
// when no OpenGL context can be had or its renderer is a software rasteriser.
ResolvedRenderer ResolveRenderer(RendererChoice choice);

}  // namespace ambrel
