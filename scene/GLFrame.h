// Draws a scene frame with fixed-function OpenGL into the current context, whose
// projection the host has set.
#pragma once

#include "scene/SceneFrame.h"

namespace ambrel {

// The light and the face culling, once per context.
void PrepareGLScene(const SceneFrame& frame);
void ReleaseGLScene();

void DrawSceneFrameGL(const SceneFrame& frame);
// The overlay part alone, over whatever the context holds.
void DrawOverlayGL(const SceneFrame& frame);

}  // namespace ambrel
