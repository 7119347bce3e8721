// See GL/gl.h beside this file.
#pragma once
#include <OpenGL/glu.h>
