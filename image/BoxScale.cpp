#include "image/BoxScale.h"

#include <cmath>
#include <cstddef>

namespace ambrel {

namespace {

constexpr int kChannels = 4;

// GLU works on 16-bit channels: a byte b is b * 257 there, and back it is the high byte.
int Widened(uint8_t byte) { return byte * 257; }

// The halving case averages each 2 x 2 block in integers.
void Halve(const uint8_t* in, int widthIn, uint8_t* out, int widthOut, int heightOut) {
  const size_t row = size_t(widthIn) * kChannels;
  for (int y = 0; y < heightOut; ++y) {
    const uint8_t* top = in + size_t(2 * y) * row;
    for (int x = 0; x < widthOut; ++x) {
      const uint8_t* t = top + size_t(2 * x) * kChannels;
      for (int k = 0; k < kChannels; ++k) {
        const int sum = Widened(t[k]) + Widened(t[k + kChannels]) + Widened(t[row + k]) +
                        Widened(t[row + k + kChannels]);
        *out++ = uint8_t(uint16_t((sum + 2) / 4) >> 8);
      }
    }
  }
}

// The stretch of the source one output pixel covers along an axis: a pixel's
// width around its centre when shrinking, one source pixel when growing.
void BoxAround(float centre, float halfWidth, bool shrinking, float* low, float* high) {
  if (shrinking) {
    *high = centre + halfWidth;
    *low = centre - halfWidth;
  } else {
    *high = float(double(centre) + 0.5);
    *low = float(double(centre) - 0.5);
  }
}

}  // namespace

// The mix of float and double below is GLU's own: every rounding step has to be the
// same for the bytes to be.
void BoxScaleRGBA(const uint8_t* in, int widthIn, int heightIn, uint8_t* out, int widthOut, int heightOut) {
  if (widthIn == widthOut * 2 && heightIn == heightOut * 2) {
    Halve(in, widthIn, out, widthOut, heightOut);
    return;
  }
  const float convy = float(heightIn) / float(heightOut);
  const float convx = float(widthIn) / float(widthOut);
  const float halfconvx = convx / 2;
  const float halfconvy = convy / 2;
  for (int i = 0; i < heightOut; ++i) {
    float lowy, highy;
    BoxAround(float(double(convy) * (i + 0.5)), halfconvy, heightIn > heightOut, &lowy, &highy);
    for (int j = 0; j < widthOut; ++j) {
      float lowx, highx;
      BoxAround(float(double(convx) * (j + 0.5)), halfconvx, widthIn > widthOut, &lowx, &highx);

      // The box from (lowx, lowy) to (highx, highy), wrapping at the edges, each
      // source pixel weighted by how much of it the box covers.
      float totals[kChannels] = {0, 0, 0, 0};
      float area = 0;
      float y = lowy;
      int yint = int(std::floor(double(y)));
      while (y < highy) {
        const int yindex = (yint + heightIn) % heightIn;
        const float ypercent = highy < float(yint + 1) ? highy - y : float(yint + 1) - y;
        float x = lowx;
        int xint = int(std::floor(double(x)));
        while (x < highx) {
          const int xindex = (xint + widthIn) % widthIn;
          const float xpercent = highx < float(xint + 1) ? highx - x : float(xint + 1) - x;
          const float percent = xpercent * ypercent;
          area += percent;
          const uint8_t* from = in + (size_t(yindex) * size_t(widthIn) + size_t(xindex)) * kChannels;
          for (int k = 0; k < kChannels; ++k) totals[k] += float(Widened(from[k])) * percent;
          ++xint;
          x = float(xint);
        }
        ++yint;
        y = float(yint);
      }

      uint8_t* to = out + (size_t(i) * size_t(widthOut) + size_t(j)) * kChannels;
      for (int k = 0; k < kChannels; ++k) {
        // Through int, as a compiler converts a double to a 16-bit channel.
        const uint16_t channel = uint16_t(int32_t((double(totals[k]) + 0.5) / double(area)));
        to[k] = uint8_t(channel >> 8);
      }
    }
  }
}

}  // namespace ambrel
