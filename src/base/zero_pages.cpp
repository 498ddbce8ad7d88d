#include "base/zero_pages.h"

#include <sys/mman.h>

namespace quorvel {

void* mapZeroPages(size_t bytes) {
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

void unmapZeroPages(void* p, size_t bytes) { munmap(p, bytes); }

}  // namespace quorvel
