#include "base/byte_reader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>
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

namespace {

constexpr char kTemporarySuffix[] = ".XXXXXX";  // mkstemp's pattern: six letters or digits
constexpr auto kStaleTemporaryAge = std::chrono::minutes(1);  // no save of ours lasts that long

// The process's file-creation mask, read without changing it (umask() would, for every thread).
mode_t currentUmask() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("Umask:")) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  return 022;
}

// The permissions of the file path replaces, or those a new file gets under the user's umask.
mode_t permissionsFor(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return st.st_mode & 07777;
  return 0666 & ~currentUmask();
}

// Temporaries of our naming beside path that a save killed half-way left, old enough that no save
// under way can own them.
void removeStaleTemporaries(const std::filesystem::path& path) {
  const std::string name = path.filename().string();
  const size_t letters = sizeof kTemporarySuffix - 2;
  std::error_code ec;
  const auto now = std::filesystem::file_time_type::clock::now();
  const std::filesystem::path parent = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  for (auto it = std::filesystem::directory_iterator(parent, ec); !ec && it != std::filesystem::directory_iterator();
       it.increment(ec)) {
    const std::string other = it->path().filename().string();
    if (other.size() != name.size() + letters + 1 || !other.starts_with(name + ".")) continue;
    if (!std::all_of(other.end() - static_cast<long>(letters), other.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }))
      continue;
    std::error_code timeError;
    const auto written = it->last_write_time(timeError);
    if (!timeError && it->is_regular_file(timeError) && now - written > kStaleTemporaryAge)
      std::filesystem::remove(it->path(), timeError);
  }
}

}  // namespace

bool writeFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  return writeFileAtomicallyErrno(path, bytes) == 0;
}

int writeFileAtomicallyErrno(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  const auto why = [] { return errno ? errno : EIO; };  // never 0 for a step that failed
  // A unique name beside the target, so that two writers never share a temporary file and the
  // rename stays within one file system.
  std::string pattern = path.string() + kTemporarySuffix;
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return why();
  const std::filesystem::path tmp = pattern;
  int error = ::fchmod(fd, permissionsFor(path)) == 0 ? 0 : why();
  for (size_t done = 0; !error && done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) error = n < 0 ? why() : EIO;
    else done += static_cast<size_t>(n);
  }
  // On the disk before the rename, so that a crash never leaves a renamed but empty file.
  if (!error && ::fsync(fd) != 0) error = why();
  if (::close(fd) != 0 && !error) error = why();
  std::error_code ec;
  if (!error) std::filesystem::rename(tmp, path, ec);
  if (!error && ec) error = ec.value() ? ec.value() : EIO;
  if (error) {
    std::filesystem::remove(tmp, ec);
    return error;
  }
  const std::filesystem::path parent = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  if (const int dir = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY); dir >= 0) {
    ::fsync(dir);  // the rename itself made durable; a folder that cannot be synced is no failure
    ::close(dir);
  }
  removeStaleTemporaries(path);
  return 0;
}

}  // namespace quorvel
