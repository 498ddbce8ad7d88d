#include "render/png_io.h"

#include <png.h>

#include <cstring>
#include <vector>

#include "base/byte_reader.h"

namespace quorvel {

namespace {
// Rows are stored bottom-up: libpng walks them from the last one with a negative stride.
png_int_32 bottomUpStride(const Bitmap24& b) { return -static_cast<png_int_32>(b.stride()); }
}  // namespace

bool writePng(const std::filesystem::path& path, const Bitmap24& picture) {
  if (picture.width <= 0 || picture.height <= 0) return false;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(picture.width);
  image.height = static_cast<png_uint_32>(picture.height);
  image.format = PNG_FORMAT_BGR;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, picture.pixels.data(), bottomUpStride(picture), nullptr))
    return false;
  std::vector<uint8_t> bytes(size);
  if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, picture.pixels.data(), bottomUpStride(picture),
                                 nullptr))
    return false;
  bytes.resize(size);
  return writeFileAtomically(path, std::span<const uint8_t>(bytes));
}

std::optional<Bitmap24> readPng(const std::filesystem::path& path) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.string().c_str())) return std::nullopt;
  image.format = PNG_FORMAT_BGR;
  Bitmap24 b(static_cast<int>(image.width), static_cast<int>(image.height));
  if (!png_image_finish_read(&image, nullptr, b.pixels.data(), bottomUpStride(b), nullptr)) {
    png_image_free(&image);
    return std::nullopt;
  }
  return b;
}

}  // namespace quorvel
