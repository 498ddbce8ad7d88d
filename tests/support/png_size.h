#pragma once
// Width and height of a PNG file read from its header, for the suites that run the command line.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

namespace quorvel::testing {

// (0, 0) when the file is missing or not a PNG.
inline std::pair<int, int> pngSize(const std::filesystem::path& file) {
  std::ifstream png(file, std::ios::binary);
  std::string head(24, '\0');
  if (!png.read(head.data(), 24) || head.substr(1, 3) != "PNG") return {0, 0};
  auto big = [&](int at) {
    return (static_cast<uint8_t>(head[at]) << 24) | (static_cast<uint8_t>(head[at + 1]) << 16) |
           (static_cast<uint8_t>(head[at + 2]) << 8) | static_cast<uint8_t>(head[at + 3]);
  };
  return {big(16), big(20)};
}

}  // namespace quorvel::testing
