#include "base/byte_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {

std::optional<std::vector<uint8_t>> readWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size < 0) return std::nullopt;
  in.seekg(0);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), size)) return std::nullopt;
  return bytes;
}

std::optional<uint64_t> fileSizeOf(const std::filesystem::path& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) return std::nullopt;
  return static_cast<uint64_t>(size);
}

std::optional<std::vector<uint8_t>> readFileRange(const std::filesystem::path& path, uint64_t offset, uint64_t count) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  in.seekg(static_cast<std::streamoff>(offset));
  if (!in) return std::nullopt;
  std::vector<uint8_t> bytes;
  try {
    bytes.resize(static_cast<size_t>(count));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  if (count > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count)))
    return std::nullopt;
  return bytes;
}

bool writeFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  // A unique name beside the target, so that two writers never share a temporary file and the
  // rename stays within one file system.
  std::string pattern = path.string() + ".XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return false;
  const std::filesystem::path tmp = pattern;
  bool written = ::fchmod(fd, 0644) == 0;
  for (size_t done = 0; written && done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) written = false;
    else done += static_cast<size_t>(n);
  }
  // On the disk before the rename, so that a crash never leaves a renamed but empty file.
  written = written && ::fsync(fd) == 0;
  written = ::close(fd) == 0 && written;
  std::error_code ec;
  if (written) std::filesystem::rename(tmp, path, ec);
  if (!written || ec) {
    std::filesystem::remove(tmp, ec);
    return false;
  }
  const std::filesystem::path parent = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  if (const int dir = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY); dir >= 0) {
    ::fsync(dir);  // the rename itself made durable; a folder that cannot be synced is no failure
    ::close(dir);
  }
  return true;
}

}  // namespace quorvel
