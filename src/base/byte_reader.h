#pragma once
// Bounds-checked reading of little- and big-endian values from a byte buffer.
// Every read says whether it stayed inside the buffer; nothing reads past the end.
#include <bit>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  size_t size() const { return bytes_.size(); }
  bool has(size_t offset, size_t count) const { return offset <= bytes_.size() && count <= bytes_.size() - offset; }

  std::optional<std::span<const uint8_t>> bytes(size_t offset, size_t count) const {
    if (!has(offset, count)) return std::nullopt;
    return bytes_.subspan(offset, count);
  }
  std::optional<uint8_t> u8(size_t offset) const {
    if (!has(offset, 1)) return std::nullopt;
    return bytes_[offset];
  }
  std::optional<uint16_t> u16le(size_t o) const { return read<uint16_t>(o, false); }
  std::optional<uint16_t> u16be(size_t o) const { return read<uint16_t>(o, true); }
  std::optional<uint32_t> u32le(size_t o) const { return read<uint32_t>(o, false); }
  std::optional<uint32_t> u32be(size_t o) const { return read<uint32_t>(o, true); }
  std::optional<float> f32be(size_t o) const {
    auto v = u32be(o);
    if (!v) return std::nullopt;
    return std::bit_cast<float>(*v);
  }
  std::optional<float> f32le(size_t o) const {
    auto v = u32le(o);
    if (!v) return std::nullopt;
    return std::bit_cast<float>(*v);
  }

 private:
  template <typename T>
  std::optional<T> read(size_t offset, bool bigEndian) const {
    if (!has(offset, sizeof(T))) return std::nullopt;
    T v = 0;
    for (size_t i = 0; i < sizeof(T); ++i) {
      size_t k = bigEndian ? i : sizeof(T) - 1 - i;
      v = static_cast<T>((v << 8) | bytes_[offset + k]);
    }
    return v;
  }

  std::span<const uint8_t> bytes_;
};

// Writing counterparts, for the writers and the tests.
inline void putU16le(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void putU16be(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
inline void putU32le(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void putU32be(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Reads a whole file; nullopt when it cannot be opened or read.
std::optional<std::vector<uint8_t>> readWholeFile(const std::filesystem::path& path);
// Size of a regular file; nullopt when it cannot be known.
std::optional<uint64_t> fileSizeOf(const std::filesystem::path& path);
// Reads count bytes from offset; nullopt when the file is shorter or cannot be read.
std::optional<std::vector<uint8_t>> readFileRange(const std::filesystem::path& path, uint64_t offset, uint64_t count);
// Writes bytes to a new temporary file beside path, flushes it to the disk and renames it into
// place: path then holds either its previous content or the new one, whole. The file keeps the
// permissions of the one it replaces (a new one gets the user's umask). Temporaries of path that a
// write killed half-way left (older than a minute) are removed. False (the previous file
// untouched, no temporary file left) when any step fails.
bool writeFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes);
// The same, giving the errno of the step that failed (0 when the file was written).
int writeFileAtomicallyErrno(const std::filesystem::path& path, std::span<const uint8_t> bytes);
inline bool writeFileAtomically(const std::filesystem::path& path, std::string_view text) {
  return writeFileAtomically(path, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace quorvel
