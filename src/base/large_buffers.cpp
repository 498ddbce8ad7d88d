#include "base/large_buffers.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace quorvel {

namespace {
constexpr size_t kHugePage = size_t{2} << 20;
constexpr int kLargestHeapBlock = 32 << 20;  // the allocator refuses a larger threshold
constexpr int kKeptFreeBytes = 512 << 20;
constexpr int kHeapReserve = 256 << 20;  // address space only: pages are mapped when touched
constexpr size_t kFirstGrowth = size_t{1} << 20;
}  // namespace

void keepFreedVolumesMapped() {
  mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock);
  mallopt(M_TRIM_THRESHOLD, kKeptFreeBytes);
  // The heap grows once by a large reserve, advised for huge pages as a whole.
  mallopt(M_TOP_PAD, kHeapReserve);
  if (void* first = std::malloc(kFirstGrowth)) {
    char* const top = static_cast<char*>(sbrk(0));
    // Only when the block came from the heap's new end (not from a mapping of its own).
    const char* const start = static_cast<char*>(first);
    if (top != reinterpret_cast<char*>(-1) && top > start &&
        static_cast<size_t>(top - start) <= kFirstGrowth + kHeapReserve + kHugePage)
      adviseHugePages(first, static_cast<size_t>(top - static_cast<char*>(first)));
    std::free(first);
  }
}

void adviseHugePages(void* data, size_t bytes) {
#ifdef MADV_HUGEPAGE
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kHugePage - 1);
  if (data && end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

}  // namespace quorvel
