#include "base/bitmap.h"

namespace quorvel {

void Bitmap24::resize(int w, int h) {
  width = w > 0 ? w : 0;
  height = h > 0 ? h : 0;
  pixels = zeroedBuffer<uint8_t>(static_cast<size_t>(strideFor(width)) * height);
}

void Bitmap24::fill(Rgb c) {
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) set(x, y, c);
}

}  // namespace quorvel
