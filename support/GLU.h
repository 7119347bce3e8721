// The GLU calls the drawing makes, under GLU's own names so that the callers read
// as before, from libGLU loaded on first use: a run that never draws with OpenGL
// never loads it. Without the library they do nothing, and say so once on stderr.
#pragma once

namespace ambrel {

void gluPerspective(double fovy, double aspect, double zNear, double zFar);
void gluLookAt(double eyeX, double eyeY, double eyeZ, double centerX, double centerY, double centerZ, double upX,
               double upY, double upZ);

}  // namespace ambrel
