// PNG files written and read back.
#include <gtest/gtest.h>

#include <fstream>

#include "render/png_io.h"
#include "scratch_folder.h"

namespace quorvel::testing {
namespace {

TEST(PngFiles, PicturesComeBackPixelForPixel) {
  const auto dir = scratchFolder();
  for (const auto& [w, h] : {std::pair{13, 7}, std::pair{512, 3}, std::pair{1, 1}}) {
    Bitmap24 b(w, h);  // odd widths pad their rows
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        b.set(x, y, {static_cast<uint8_t>(x * 19), static_cast<uint8_t>(y * 37), static_cast<uint8_t>(x ^ y)});
    const auto file = dir / "p.png";
    ASSERT_TRUE(writePng(file, b));
    const auto back = readPng(file);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->width, w);
    ASSERT_EQ(back->height, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        ASSERT_EQ(back->get(x, y).r, b.get(x, y).r) << x << ", " << y;
        ASSERT_EQ(back->get(x, y).g, b.get(x, y).g);
        ASSERT_EQ(back->get(x, y).b, b.get(x, y).b);
      }
  }
  std::ofstream(dir / "not.png") << "not a picture";
  EXPECT_FALSE(readPng(dir / "not.png"));
  EXPECT_FALSE(readPng(dir / "missing.png"));
  EXPECT_FALSE(writePng(dir / "no" / "such" / "folder.png", Bitmap24(2, 2)));
  EXPECT_FALSE(writePng(dir / "empty.png", Bitmap24()));
}

}  // namespace
}  // namespace quorvel::testing
