// Buffers of pictures and volumes: whatever memory they come from, a fresh one holds zeros, even
// where the same memory was drawn on before, and a copy is a true copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/bitmap.h"
#include "base/large_buffers.h"
#include "base/zero_pages.h"

namespace quorvel {
namespace {

bool allZero(const auto& v) {
  return std::all_of(v.begin(), v.end(), [](auto x) { return x == 0; });
}

TEST(Buffers, FreshBuffersAreZeroBelowAndAboveTheirOwnMapping) {
  for (const size_t bytes : {size_t{3}, kOwnMappingBytes - 1, kOwnMappingBytes, 3 * kOwnMappingBytes + 5}) {
    SCOPED_TRACE(bytes);
    for (int round = 0; round < 3; ++round) {  // the memory of the previous round is reused
      ZeroPagesVector<uint8_t> v = zeroedBuffer<uint8_t>(bytes);
      ASSERT_EQ(v.size(), bytes);
      EXPECT_TRUE(allZero(v));
      std::fill(v.begin(), v.end(), uint8_t{0xA5});
      const ZeroPagesVector<uint8_t> copy = v;
      EXPECT_EQ(copy, v);
    }
  }
}

TEST(Buffers, ABitmapResizedAfterDrawingIsBlack) {
  Bitmap24 b(300, 200);
  b.fill({10, 20, 30});
  for (const auto& [w, h] : {std::pair{300, 200}, std::pair{40, 30}, std::pair{512, 512}}) {
    b.resize(w, h);
    EXPECT_EQ(b.pixels.size(), static_cast<size_t>(Bitmap24::strideFor(w)) * h);
    EXPECT_TRUE(allZero(b.pixels)) << w << " x " << h;
    b.fill({1, 2, 3});
  }
}

TEST(Buffers, VolumesAreAssignedAndCopiedWhole) {
  keepFreedVolumesMapped();
  std::vector<float> volume(1000, 7.0f);
  assignVolume(volume, size_t{3} << 20, 0.0f);
  EXPECT_EQ(volume.size(), size_t{3} << 20);
  EXPECT_TRUE(allZero(volume));
  volume[12345] = 2.5f;
  const std::vector<float> copy = copyOfVolume(volume);
  EXPECT_EQ(copy, volume);
  assignVolume(volume, 10, 1.0f);
  EXPECT_EQ(volume, std::vector<float>(10, 1.0f));
}

}  // namespace
}  // namespace quorvel
