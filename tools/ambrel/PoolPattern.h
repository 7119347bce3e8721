// A background that needs no files: the tiled floor of a swimming pool.
#pragma once

#include "image/Texture.h"

// Fills the record with a 1024 x 1024 RGB picture (pixels from malloc), ready for
// BuildTexture. Returns false if the pixels cannot be allocated.
bool MakePoolPattern(Texture* texture);
