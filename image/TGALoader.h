// TGA decoding: uncompressed (type 2) and run-length (type 10) true colour, 24 or
// 32 bits, into a Texture's pixels in R, G, B(, A) order, rows as stored. Every
// failure shows one alert.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>

#include "image/Texture.h"

namespace ambrel {

struct TGAHeader {
  unsigned char Header[12];
};

struct TGA {
  unsigned char header[6];  // width, height (little-endian uint16), depth, descriptor
  uint32_t bytesPerPixel;
  uint32_t imageSize;
  uint32_t Height;
  uint32_t Width;
  uint32_t Bpp;  // bits
};

// Module records, overwritten by every call (one image at a time).
extern TGAHeader tgaheader;
extern TGA tga;
extern const unsigned char uTGAcompare[12];
extern const unsigned char cTGAcompare[12];

// Stream family: reads the pack reader's stream from its current position and never
// closes it.
bool LoadTGA2(Texture* texture, std::fstream* stream);
bool LoadUncompressedTGA2(Texture* texture, std::fstream* stream);
bool LoadCompressedTGA2(Texture* texture, std::fstream* stream);

// File family: the file is closed before every return.
bool LoadTGA(Texture* texture, const char* filename);
bool LoadUncompressedTGA(Texture* texture, const char* filename, FILE* file);
bool LoadCompressedTGA(Texture* texture, const char* filename, FILE* file);

// Shows a modal alert with one "OK" button; owner and flags are ignored.
int MessageBox(void* owner, const char* text, const char* title, int flags);

}  // namespace ambrel
