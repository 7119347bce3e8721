// The core includes OpenGL through libepoxy's header, which loads the libraries
// lazily on Linux; on a Mac the OpenGL framework is linked as it is.
#pragma once
#include <OpenGL/gl.h>
