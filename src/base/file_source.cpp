#include "base/file_source.h"

#include <new>

#include "base/byte_reader.h"

namespace quorvel {

std::optional<std::vector<uint8_t>> FileSource::readWhole(const std::filesystem::path& path) const {
  const auto size = sizeOf(path);
  if (!size) return std::nullopt;
  return read(path, 0, *size);
}

std::optional<uint64_t> DiskFiles::sizeOf(const std::filesystem::path& path) const { return fileSizeOf(path); }

std::optional<std::vector<uint8_t>> DiskFiles::read(const std::filesystem::path& path, uint64_t offset,
                                                    uint64_t count) const {
  return readFileRange(path, offset, count);
}

const FileSource& diskFiles() {
  static const DiskFiles disk;
  return disk;
}

MemoryFiles& MemoryFiles::add(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  files_[path.lexically_normal().string()] = bytes;
  return *this;
}

std::optional<std::span<const uint8_t>> MemoryFiles::inMemory(const std::filesystem::path& path) const {
  const auto it = files_.find(path.lexically_normal().string());
  if (it == files_.end()) return std::nullopt;
  return it->second;
}

std::optional<uint64_t> MemoryFiles::sizeOf(const std::filesystem::path& path) const {
  const auto bytes = inMemory(path);
  if (!bytes) return std::nullopt;
  return bytes->size();
}

std::optional<std::vector<uint8_t>> MemoryFiles::read(const std::filesystem::path& path, uint64_t offset,
                                                      uint64_t count) const {
  const auto bytes = inMemory(path);
  if (!bytes || offset > bytes->size() || count > bytes->size() - offset) return std::nullopt;
  try {
    return std::vector<uint8_t>(bytes->begin() + static_cast<std::ptrdiff_t>(offset),
                                bytes->begin() + static_cast<std::ptrdiff_t>(offset + count));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace quorvel
