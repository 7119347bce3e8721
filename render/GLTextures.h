// The textures of a frame drawn with OpenGL, as the CPU renderer samples them.
#pragma once

#include "render/CpuFrame.h"
#include "scene/SceneFrame.h"

namespace ambrel {

// Reads the images of the frame's textures back from the current context into
// *textures; names already there are left alone.
void ReadGLTextures(const SceneFrame& frame, CpuTextures* textures);

}  // namespace ambrel
