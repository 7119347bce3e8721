// Decoded pictures by file, until a view has made its texture of one
// (ForgetPicture): the check made before the views and the view decode a picture
// once. A picture that cannot be used costs its budget once.
#pragma once

#include <string>

#include "platform/Pictures.h"

namespace ambrel {

enum class DecodeOutcome { kDecoded, kRefused, kAbandoned };

// A backend's decoder: kRefused with *why set, or kAbandoned when the run ended
// while it waited (which nothing remembers).
using PictureDecoder = DecodeOutcome (*)(const char* path, PictureBitmap* bitmap, std::string* why);

// The decoder's answer for the file at path as it is now (the same path, device,
// inode, size and change time), decoding it only when nothing is remembered.
bool ReadPictureOnce(const char* path, PictureBitmap* bitmap, std::string* why, PictureDecoder decode);

}  // namespace ambrel
