#pragma once
// Text drawn into pictures with an embedded 8 x 8 bitmap font (printable ASCII and the Latin-1
// letters of French), so that pictures with text come out the same on every machine.
#include <string_view>

#include "base/bitmap.h"
#include "base/platform.h"

namespace quorvel {

inline constexpr int kGlyphSide = 8;

// Draws UTF-8 text with its top-left corner at (x, y), y counted from the top of the picture,
// each font pixel a scale x scale block. Characters the font lacks show as '?'; pixels outside
// the picture are skipped.
void drawText(Bitmap24& picture, int x, int y, std::string_view utf8, Rgb colour, int scale = 1);
// Width in pixels of the text drawn at that scale.
int textWidth(std::string_view utf8, int scale = 1);

}  // namespace quorvel
