#pragma once
// PNG files of pictures: 8-bit RGB, for the command line's pictures, reports and tests.
#include <filesystem>
#include <optional>

#include "base/bitmap.h"

namespace quorvel {

// Writes the picture through a temporary file renamed into place; false when it cannot be
// encoded or written (an existing file is then left as it was).
bool writePng(const std::filesystem::path& path, const Bitmap24& picture);
// Reads a PNG of any colour type as 8-bit RGB; nothing when the file is missing or not a PNG.
std::optional<Bitmap24> readPng(const std::filesystem::path& path);

}  // namespace quorvel
