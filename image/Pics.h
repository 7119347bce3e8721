// Background pictures: a picture file, or a random one from a folder, becomes a
// power-of-two background texture.
#pragma once

#include <cstdint>

#include "image/Texture.h"
#include "platform/Pictures.h"

namespace ambrel {

// A picture that cannot be shown is named on stderr (NameWrongPicture).
bool loadPicFile(const char* path, Texture* texture, int detail);
// The folder kind of background: a random .jpg, .gif or .png of the folder.
bool LoadPicture(const char* folder, Texture* texture, int detail);
// A desktop picture folder (XScreenSaver's imageDirectory): a random picture of
// any kind we decode, in any letter case (IMG_0001.JPG), trying up to
// kDesktopFolderTries of them; a folder that gives none is named.
constexpr int kDesktopFolderTries = 3;
bool LoadDesktopFolderPicture(const char* folder, Texture* texture, int detail);
bool ChooseRandomImageFile(const char* folder, char* name);  // name: room for 256 bytes
bool FindNthFile(const char* folder, char* name, const char* extension, int n);
int CountFiles(const char* folder, const char* extension);

// How a source side meets the side detail 0 or 1 allows: a picture file is scaled
// to it either way; a screen capture is only ever made smaller.
enum class DetailFit { kExactly, kAtMost };

// The background texture's side for one side of a picture or a capture: the power
// of two nearest it on a log scale, at most 512 at detail 0, 1024 at detail 1 and
// maxTextureSide above (detail 0 and 1 may pass it).
uint32_t PictureTextureSide(int detail, int pictureSide, uint32_t maxTextureSide,
                            DetailFit fit = DetailFit::kExactly);

// Nearest-sample resampling of a 24- or 32-bit picture into width x height pixels of
// the same depth, flipped so that the picture's top row is the last row. The fourth
// byte of 32-bit pixels is 255.
void ResamplePicture(const PictureBitmap& picture, uint32_t width, uint32_t height,
                     unsigned char* out);

}  // namespace ambrel
