#include "image/TGALoader.h"

#include <epoxy/gl.h>

#include <cstdlib>
#include <cstring>

#include "platform/Alerts.h"

namespace ambrel {

TGAHeader tgaheader;
TGA tga;
const unsigned char uTGAcompare[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const unsigned char cTGAcompare[12] = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};

int MessageBox(void* /*owner*/, const char* text, const char* title, int /*flags*/) {
  ShowAlert(title, text);
  return 0;
}

namespace {

constexpr int MB_OK = 0;

void Alert(const char* text, const char* title = "ERROR") { MessageBox(nullptr, text, title, MB_OK); }

// The two sources differ only in how a read is judged short and in how much is left.
struct StreamSource {
  std::fstream* stream;
  bool Read(void* to, size_t n) {
    stream->read(static_cast<char*>(to), std::streamsize(n));
    return !stream->fail();
  }
  // Bytes left from the current position, or -1 when unknown.
  int64_t Remaining() {
    const std::streamoff here = stream->tellg();
    if (here < 0) return -1;
    stream->seekg(0, std::ios::end);
    const std::streamoff end = stream->tellg();
    stream->seekg(here, std::ios::beg);
    if (end < 0 || stream->fail()) return -1;
    return int64_t(end - here);
  }
};

struct FileSource {
  FILE* file;
  bool Read(void* to, size_t n) { return std::fread(to, 1, n, file) == n; }
  int64_t Remaining() {
    const long here = std::ftell(file);
    if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return -1;
    const long end = std::ftell(file);
    if (std::fseek(file, here, SEEK_SET) != 0 || end < 0) return -1;
    return int64_t(end) - here;
  }
};

void DropPixels(Texture* texture) {
  std::free(texture->imageData);
  texture->imageData = nullptr;
}

template <class Source>
bool ReadInfoHeader(Texture* texture, Source& source) {
  if (!source.Read(tga.header, sizeof tga.header)) {
    Alert("Could not read info header");
    return false;
  }
  tga.Width = uint32_t(tga.header[1]) * 256 + tga.header[0];
  tga.Height = uint32_t(tga.header[3]) * 256 + tga.header[2];
  tga.Bpp = tga.header[4];
  texture->width = tga.Width;
  texture->height = tga.Height;
  texture->bpp = tga.Bpp;
  if (tga.Width == 0 || tga.Height == 0 || (tga.Bpp != 24 && tga.Bpp != 32)) {
    Alert("Invalid texture information");
    return false;
  }
  texture->type = tga.Bpp == 24 ? GL_RGB : GL_RGBA;
  tga.bytesPerPixel = tga.Bpp / 8;
  // 65535 x 65535 x 4 does not fit 32 bits; such an image is beyond any buffer we
  // would hand to OpenGL.
  const uint64_t size = uint64_t(tga.Width) * tga.Height * tga.bytesPerPixel;
  if (size >= (uint64_t(1) << 32)) {
    Alert("Could not allocate memory for image");
    return false;
  }
  tga.imageSize = uint32_t(size);
  return true;
}

template <class Source>
bool DecodeUncompressed(Texture* texture, Source& source) {
  if (!ReadInfoHeader(texture, source)) return false;
  // A header that promises more than the source holds is not worth a buffer of
  // that size: the read below would fail the same way.
  const int64_t remaining = source.Remaining();
  if (remaining >= 0 && uint64_t(remaining) < tga.imageSize) {
    Alert("Could not read image data");
    return false;
  }
  texture->imageData = static_cast<unsigned char*>(std::malloc(tga.imageSize));
  if (!texture->imageData) {
    Alert("Could not allocate memory for image");
    return false;
  }
  if (!source.Read(texture->imageData, tga.imageSize)) {
    Alert("Could not read image data");
    DropPixels(texture);
    return false;
  }
  unsigned char* pixels = texture->imageData;
  for (uint32_t i = 0; i < tga.imageSize; i += tga.bytesPerPixel) {
    const unsigned char blue = pixels[i];
    pixels[i] = pixels[i + 2];
    pixels[i + 2] = blue;
  }
  return true;
}

// The run-length buffer grows with the pixels actually decoded (up to the exact
// image size), so a tiny file announcing a huge image cannot claim gigabytes.
class PixelSink {
 public:
  PixelSink(uint32_t pixelCount, uint32_t bytesPerPixel, uint32_t imageSize)
      : pixelCount_(pixelCount), bytesPerPixel_(bytesPerPixel), imageSize_(imageSize) {}
  ~PixelSink() { std::free(buffer_); }

  bool Reserve() { return Grow(imageSize_ < kFirstChunk ? imageSize_ : kFirstChunk); }
  bool Full() const { return currentPixel_ >= pixelCount_; }

  // Returns the failure's message, or null when the pixel was stored.
  const char* Store(const unsigned char* bgra) {
    if (Full()) return "Too many pixels read";
    if (currentByte_ + bytesPerPixel_ > capacity_) {
      const uint64_t doubled = uint64_t(capacity_) * 2;
      if (!Grow(doubled < imageSize_ ? uint32_t(doubled) : imageSize_))
        return "Could not allocate memory for image";
    }
    buffer_[currentByte_] = bgra[2];
    buffer_[currentByte_ + 1] = bgra[1];
    buffer_[currentByte_ + 2] = bgra[0];
    if (bytesPerPixel_ == 4) buffer_[currentByte_ + 3] = bgra[3];
    ++currentPixel_;
    currentByte_ += bytesPerPixel_;
    return nullptr;
  }

  unsigned char* Release() {
    unsigned char* out = buffer_;
    buffer_ = nullptr;
    return out;
  }

 private:
  static constexpr uint32_t kFirstChunk = 1u << 20;

  bool Grow(uint32_t capacity) {
    void* grown = std::realloc(buffer_, capacity);
    if (!grown) return false;
    buffer_ = static_cast<unsigned char*>(grown);
    capacity_ = capacity;
    return true;
  }

  uint32_t pixelCount_, bytesPerPixel_, imageSize_;
  unsigned char* buffer_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t currentPixel_ = 0;
  uint32_t currentByte_ = 0;
};

template <class Source>
bool DecodeCompressed(Texture* texture, Source& source) {
  if (!ReadInfoHeader(texture, source)) return false;
  PixelSink sink(tga.Width * tga.Height, tga.bytesPerPixel, tga.imageSize);
  if (!sink.Reserve()) {
    Alert("Could not allocate memory for image");
    return false;
  }
  unsigned char pixel[4];
  while (!sink.Full()) {
    unsigned char chunkHeader = 0;
    if (!source.Read(&chunkHeader, 1)) {
      Alert("Could not read RLE header");
      return false;
    }
    if (chunkHeader < 128) {
      for (int n = 0; n < chunkHeader + 1; ++n) {
        if (!source.Read(pixel, tga.bytesPerPixel)) {
          Alert("Could not read image data");
          return false;
        }
        if (const char* failure = sink.Store(pixel)) {
          Alert(failure);
          return false;
        }
      }
    } else {
      if (!source.Read(pixel, tga.bytesPerPixel)) {
        Alert("Could not read from file");
        return false;
      }
      for (int n = 0; n < chunkHeader - 127; ++n) {
        if (const char* failure = sink.Store(pixel)) {
          Alert(failure);
          return false;
        }
      }
    }
  }
  texture->imageData = sink.Release();
  return true;
}

bool StreamUsable(std::fstream* stream) { return stream && stream->is_open(); }

}  // namespace

bool LoadUncompressedTGA2(Texture* texture, std::fstream* stream) {
  StreamSource source{stream};
  return DecodeUncompressed(texture, source);
}

bool LoadCompressedTGA2(Texture* texture, std::fstream* stream) {
  StreamSource source{stream};
  return DecodeCompressed(texture, source);
}

bool LoadTGA2(Texture* texture, std::fstream* stream) {
  if (!StreamUsable(stream)) {
    Alert("Could not open texture file");
    return false;
  }
  stream->read(reinterpret_cast<char*>(tgaheader.Header), sizeof tgaheader.Header);
  if (stream->fail()) {
    Alert("Could not read file header");
    return false;
  }
  if (std::memcmp(uTGAcompare, tgaheader.Header, sizeof tgaheader.Header) == 0)
    return LoadUncompressedTGA2(texture, stream);
  if (std::memcmp(cTGAcompare, tgaheader.Header, sizeof tgaheader.Header) == 0)
    return LoadCompressedTGA2(texture, stream);
  Alert("TGA file be type 2 or type 10 ", "Invalid Image");
  return false;
}

bool LoadUncompressedTGA(Texture* texture, const char* /*filename*/, FILE* file) {
  FileSource source{file};
  const bool ok = DecodeUncompressed(texture, source);
  std::fclose(file);
  return ok;
}

bool LoadCompressedTGA(Texture* texture, const char* /*filename*/, FILE* file) {
  FileSource source{file};
  const bool ok = DecodeCompressed(texture, source);
  std::fclose(file);
  return ok;
}

bool LoadTGA(Texture* texture, const char* filename) {
  FILE* file = filename ? std::fopen(filename, "rb") : nullptr;
  if (!file) {
    Alert("Could not open texture file");
    return false;
  }
  if (std::fread(tgaheader.Header, sizeof tgaheader.Header, 1, file) == 0) {
    Alert("Could not read file header");
    std::fclose(file);
    return false;
  }
  if (std::memcmp(uTGAcompare, tgaheader.Header, sizeof tgaheader.Header) == 0)
    return LoadUncompressedTGA(texture, filename, file);
  if (std::memcmp(cTGAcompare, tgaheader.Header, sizeof tgaheader.Header) == 0)
    return LoadCompressedTGA(texture, filename, file);
  Alert("TGA file be type 2 or type 10 ", "Invalid Image");
  std::fclose(file);
  return false;
}

}  // namespace ambrel
