#include "base/generation.h"

#include <atomic>

namespace quorvel {

namespace {

constexpr uint64_t kMul1 = 0x9E3779B97F4A7C15ull, kMul2 = 0xBF58476D1CE4E5B9ull, kMul3 = 0x94D049BB133111EBull;

uint64_t mix(uint64_t x) {
  x ^= x >> 30;
  x *= kMul2;
  x ^= x >> 27;
  x *= kMul3;
  return x ^ (x >> 31);
}

uint64_t load64(const unsigned char* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

uint64_t nextGeneration() {
  static std::atomic<uint64_t> counter{0};
  return counter.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint64_t fingerprintBytes(const void* data, size_t size, uint64_t seed) {
  const auto* p = static_cast<const unsigned char*>(data);
  // Four independent lanes keep the multiplier busy on large arrays (the counts of a study).
  uint64_t lane[4] = {seed ^ kMul1, seed + kMul2, seed ^ kMul3, seed - kMul1};
  size_t i = 0;
  for (; i + 32 <= size; i += 32)
    for (int k = 0; k < 4; ++k) lane[k] = (lane[k] ^ load64(p + i + 8 * k)) * kMul1 + (lane[k] >> 29);
  uint64_t h = mix(lane[0]) ^ mix(lane[1] + 1) ^ mix(lane[2] + 2) ^ mix(lane[3] + 3);
  for (; i + 8 <= size; i += 8) h = mix(h ^ load64(p + i));
  uint64_t tail = 0;
  if (size > i) std::memcpy(&tail, p + i, size - i);
  return mix(h ^ tail ^ (static_cast<uint64_t>(size) * kMul2));
}

}  // namespace quorvel
