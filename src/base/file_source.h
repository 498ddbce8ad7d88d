#pragma once
// Where the readers take their bytes from: the disk, or files held in memory (bytes already
// fetched, tests, fuzzing). Every reader goes through a FileSource, so that a file on the disk and
// the same bytes in memory are read by the very same code.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorvel {

class FileSource {
 public:
  virtual ~FileSource() = default;
  // Size of a regular file; nullopt when there is none.
  virtual std::optional<uint64_t> sizeOf(const std::filesystem::path& path) const = 0;
  // count bytes from offset; nullopt when the file is shorter or cannot be read.
  virtual std::optional<std::vector<uint8_t>> read(const std::filesystem::path& path, uint64_t offset,
                                                   uint64_t count) const = 0;
  // The whole file when it already lies in memory (readers then need no copy); nullopt otherwise.
  virtual std::optional<std::span<const uint8_t>> inMemory(const std::filesystem::path&) const { return std::nullopt; }

  bool exists(const std::filesystem::path& path) const { return sizeOf(path).has_value(); }
  std::optional<std::vector<uint8_t>> readWhole(const std::filesystem::path& path) const;
};

// The file system.
class DiskFiles final : public FileSource {
 public:
  std::optional<uint64_t> sizeOf(const std::filesystem::path& path) const override;
  std::optional<std::vector<uint8_t>> read(const std::filesystem::path& path, uint64_t offset,
                                           uint64_t count) const override;
};
const FileSource& diskFiles();

// Named byte blocks; the bytes must outlive the source.
class MemoryFiles final : public FileSource {
 public:
  MemoryFiles& add(const std::filesystem::path& path, std::span<const uint8_t> bytes);
  std::optional<uint64_t> sizeOf(const std::filesystem::path& path) const override;
  std::optional<std::vector<uint8_t>> read(const std::filesystem::path& path, uint64_t offset,
                                           uint64_t count) const override;
  std::optional<std::span<const uint8_t>> inMemory(const std::filesystem::path& path) const override;

 private:
  std::map<std::string, std::span<const uint8_t>> files_;
};

}  // namespace quorvel
