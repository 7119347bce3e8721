// Writes a frame as an 8-bit RGB PNG. The file appears whole or not at all: the image
// goes to a temporary file beside the target, which is renamed over it at the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// rgba: width * height pixels of 4 bytes, top row first; the alpha bytes are dropped.
bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba,
              std::string* error);
