// Writes a frame as an 8-bit RGB PNG. The file appears whole or not at all: the image
// goes to a temporary file beside the target, which is renamed over it at the end.
// "-" is standard output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ambrel {

// The file a PNG for path replaces: path itself, or the regular file a symbolic link
// at path leads to (the link stays). False with *error when path is a directory, a
// device, a FIFO, a socket or a link to none of the above.
bool ResolvePngTarget(const std::string& path, std::string* target, std::string* error);

// Before any rendering: false with *error when a PNG could not be written to path
// (refused by ResolvePngTarget, no such folder, a name too long for it, a folder
// that takes no new file, a file in a sticky folder that only its owner may replace).
bool CheckPngTarget(const std::string& path, std::string* error);

// rgba: width * height pixels of 4 bytes, top row first; the alpha bytes are dropped.
// Short of memory it throws std::bad_alloc, having removed its temporary file.
bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba,
              std::string* error);

}  // namespace ambrel
