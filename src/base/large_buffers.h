#pragma once
// Volumes of counts and labels (megabytes each) in memory that is cheap to map. A page mapped on
// first touch costs about ten microseconds on a virtual machine, several times what reading the
// study costs: so a volume is advised for huge pages before it is first written, and the heap keeps
// what is freed, so the next volume of the same size reuses pages already mapped.
#include <cstddef>
#include <vector>

namespace quorvel {

// Once, at the start of a program: volumes up to the allocator's largest threshold come from the
// heap, and freed memory stays mapped for the next allocation instead of going back to the system.
void keepFreedVolumesMapped();

// Asks the kernel to back the whole huge pages inside [data, data + bytes) with huge pages when they
// are first touched. A hint: nothing happens where the system does not support it.
void adviseHugePages(void* data, size_t bytes);

// v becomes n copies of value, in memory advised for huge pages before it is written.
template <typename T>
void assignVolume(std::vector<T>& v, size_t n, const T& value) {
  std::vector<T> fresh;
  fresh.reserve(n);
  adviseHugePages(fresh.data(), n * sizeof(T));
  fresh.assign(n, value);
  v.swap(fresh);
}

// A copy of a volume, in memory advised for huge pages.
template <typename T>
std::vector<T> copyOfVolume(const std::vector<T>& source) {
  std::vector<T> copy;
  copy.reserve(source.size());
  adviseHugePages(copy.data(), source.size() * sizeof(T));
  copy.assign(source.begin(), source.end());
  return copy;
}

}  // namespace quorvel
