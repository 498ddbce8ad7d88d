#pragma once
// An allocator whose fresh elements are the zeros calloc returns, for large buffers of plain
// numbers: the pages of a buffer the size of a picture or a volume are then mapped when first
// written, not all at once by a fill (on this kind of virtual machine a page mapped costs tens of
// microseconds). Growing a vector in place does not clear what it reuses: reset by assigning a
// fresh vector, as zeroedBuffer does.
#include <cstddef>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace quorvel {

template <typename T>
struct ZeroPagesAllocator {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_default_constructible_v<T>);
  using value_type = T;
  ZeroPagesAllocator() = default;
  template <typename U>
  ZeroPagesAllocator(const ZeroPagesAllocator<U>&) {}
  T* allocate(size_t n) {
    if (void* p = std::calloc(n, sizeof(T))) return static_cast<T*>(p);
    throw std::bad_alloc();
  }
  void deallocate(T* p, size_t) { std::free(p); }
  template <typename U>
  void construct(U*) noexcept {}  // calloc's zero is the value
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  bool operator==(const ZeroPagesAllocator&) const { return true; }
};

template <typename T>
using ZeroPagesVector = std::vector<T, ZeroPagesAllocator<T>>;

// n zeros in memory not touched yet.
template <typename T>
ZeroPagesVector<T> zeroedBuffer(size_t n) {
  return ZeroPagesVector<T>(n);
}

}  // namespace quorvel
