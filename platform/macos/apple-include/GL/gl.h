// The core includes OpenGL by its usual names; on a Mac the headers live in the
// OpenGL framework.
#pragma once
#include <OpenGL/gl.h>
