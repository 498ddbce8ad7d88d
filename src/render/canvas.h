#pragma once
// Pixel helpers shared by the picture builders.
#include <cstdint>

#include <array>

#include "base/bitmap.h"
#include "render/palettes.h"

namespace quorvel {

inline void putColour(uint8_t* px, Rgb c) {
  px[0] = c.b;
  px[1] = c.g;
  px[2] = c.r;
}
inline void darken(uint8_t* dst, const uint8_t* src) {
  // 128 less on each byte, modulo 256: black becomes mid-grey, bright colours dark.
  for (int i = 0; i < 3; ++i) dst[i] = static_cast<uint8_t>(src[i] + 128);
}
// The overlay colour of (x, y) (y from the top) taken from clean, written into work.
inline void overlayFrom(const Bitmap24& clean, Bitmap24& work, int x, int y) { darken(work.at(x, y), clean.at(x, y)); }
inline void overlayInPlace(Bitmap24& b, int x, int y) { darken(b.at(x, y), b.at(x, y)); }

// The picture bytes (blue, green, red) of every look-up index, through the threshold display
// when seuillage is given.
using ColourBytes = std::array<std::array<uint8_t, 3>, kLookupSize>;
inline ColourBytes colourBytes(const LookupTable& lut, int seuillage = -1) {
  ColourBytes out;
  for (int i = 0; i < kLookupSize; ++i) {
    const Rgb c = lut.colour(seuillage >= 0 ? thresholdDisplayIndex(i, seuillage) : i);
    out[i] = {c.b, c.g, c.r};
  }
  return out;
}
inline void putBytes(uint8_t* px, const std::array<uint8_t, 3>& c) {
  px[0] = c[0];
  px[1] = c[1];
  px[2] = c[2];
}

}  // namespace quorvel
