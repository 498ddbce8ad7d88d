#pragma once
// Generations say "this input is new": a result records the generations of the inputs it was
// computed from and is current while they have not moved on. A generation is either drawn from a
// counter that never repeats (inputs too large to fingerprint at every event) or is a fingerprint
// of the input's content (then equal content means an equal generation).
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <type_traits>

namespace quorvel {

// A number no earlier call of this process returned; thread-safe.
uint64_t nextGeneration();

// 64-bit fingerprint of bytes (not cryptographic: equal content gives equal values, different
// content different values with overwhelming likelihood).
uint64_t fingerprintBytes(const void* data, size_t size, uint64_t seed = 0);

// A fingerprint built field by field. Only values without padding bytes are taken (integers,
// floats and arrays of them), so that two equal values always give the same fingerprint.
class Fingerprint {
 public:
  template <typename T>
    requires std::is_arithmetic_v<T>
  Fingerprint& add(T value) {
    return addBytes(&value, sizeof value);
  }
  template <typename T>
    requires std::is_arithmetic_v<T>
  Fingerprint& add(std::span<const T> values) {
    return addBytes(values.data(), values.size_bytes());
  }
  template <typename T, size_t N>
    requires std::is_arithmetic_v<T>
  Fingerprint& add(const std::array<T, N>& values) {
    return addBytes(values.data(), sizeof(T) * N);
  }
  template <typename T, size_t N, size_t M>
  Fingerprint& add(const std::array<std::array<T, N>, M>& rows) {
    for (const auto& row : rows) add(row);
    return *this;
  }
  template <typename T, size_t N>
    requires std::is_arithmetic_v<T>
  Fingerprint& add(const T (&values)[N]) {
    return addBytes(values, sizeof(T) * N);
  }
  Fingerprint& add(std::string_view text) { return add(text.size()).addBytes(text.data(), text.size()); }
  uint64_t value() const { return state_; }

 private:
  Fingerprint& addBytes(const void* data, size_t size) {
    state_ = fingerprintBytes(data, size, state_);
    return *this;
  }
  uint64_t state_ = 0x51ED2700u;
};

}  // namespace quorvel
