#include "tools/ambrel/RendererChoice.h"

#include "platform/egl/GLProbe.h"
#include "platform/linux/Translations.h"
#include "render/CpuFrame.h"

namespace ambrel {

ResolvedRenderer ResolveRenderer(RendererChoice choice) {
  ResolvedRenderer resolved;
  if (choice == RendererChoice::GL) {
    resolved.description = Tr("OpenGL");
    return resolved;
  }
  resolved.renderer = FrameRenderer::kCpu;
  if (choice == RendererChoice::CPU) {
    resolved.description = Tr("the CPU renderer");
    return resolved;
  }
  const GLProbeResult probe = ProbeOpenGL();
  if (!probe.context) {
    resolved.description = Tr("the CPU renderer (no OpenGL context)");
  } else if (IsSoftwareRasteriser(probe.renderer)) {
    resolved.description = Format(Tr("the CPU renderer (OpenGL would be %s)"), probe.renderer.c_str());
  } else {
    resolved.renderer = FrameRenderer::kGL;
    resolved.description = Format(Tr("OpenGL (%s)"), probe.renderer.c_str());
  }
  return resolved;
}

}  // namespace ambrel
