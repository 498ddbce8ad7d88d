#pragma once
// An allocator whose fresh elements are zeros the system gives, for large buffers of plain numbers
// (pictures): their pages are mapped when first written, not all at once by a fill (on a virtual
// machine a page mapped costs about ten microseconds), and a picture never drawn costs nothing.
// Growing a vector in place does not clear what it reuses: reset by assigning a fresh vector, as
// zeroedBuffer does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace quorvel {

// Buffers from this size on get their own mapping: calloc would clear recycled heap memory.
inline constexpr size_t kOwnMappingBytes = size_t{128} << 10;
void* mapZeroPages(size_t bytes);  // nullptr when refused
void unmapZeroPages(void* p, size_t bytes);

template <typename T>
struct ZeroPagesAllocator {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_default_constructible_v<T>);
  using value_type = T;
  ZeroPagesAllocator() = default;
  template <typename U>
  ZeroPagesAllocator(const ZeroPagesAllocator<U>&) {}
  T* allocate(size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    const size_t bytes = n * sizeof(T);
    void* p = bytes >= kOwnMappingBytes ? mapZeroPages(bytes) : std::calloc(n, sizeof(T));
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t n) {
    if (n * sizeof(T) >= kOwnMappingBytes) unmapZeroPages(p, n * sizeof(T));
    else std::free(p);
  }
  template <typename U>
  void construct(U*) noexcept {}  // the zero of fresh pages is the value
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
