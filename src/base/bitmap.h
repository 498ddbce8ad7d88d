#pragma once
// 24-bit bottom-up BGR picture, rows padded to 4 bytes: the buffer every view draws into.
#include <cstdint>
#include <vector>

#include "base/platform.h"
#include "base/zero_pages.h"

namespace quorvel {

struct Bitmap24 {
  int width = 0;
  int height = 0;
  ZeroPagesVector<uint8_t> pixels;  // height rows of stride() bytes, the bottom row first

  Bitmap24() = default;
  Bitmap24(int w, int h) { resize(w, h); }

  static int strideFor(int w) { return (w * 3 + 3) & ~3; }
  int stride() const { return strideFor(width); }
  void resize(int w, int h);
  void fill(Rgb c);

  // (x, y) with y counted from the top, as a viewer sees the picture.
  uint8_t* at(int x, int y) { return pixels.data() + static_cast<size_t>(height - 1 - y) * stride() + x * 3; }
  const uint8_t* at(int x, int y) const {
    return pixels.data() + static_cast<size_t>(height - 1 - y) * stride() + x * 3;
  }
  void set(int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    uint8_t* p = at(x, y);
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
  }
  Rgb get(int x, int y) const {
    const uint8_t* p = at(x, y);
    return {p[2], p[1], p[0]};
  }
};

}  // namespace quorvel
