// The follow-up picture: each exam's ejection fractions where the axis puts them, the axis holding
// every interval and the criterion's limit.
#include "render/trend_plot.h"

#include <gtest/gtest.h>

#include "base/language.h"

namespace quorvel {
namespace {

TEST(TrendPlot, EveryExamsValuesWhereTheAxisPutsThem) {
  const std::vector<TrendPoint> points{{"20240115", {62, 48}, {59, 44}, {65, 52}},
                                       {"20240415", {58, 47}, {55, 43}, {61, 51}},
                                       {"20240715", {44, 46}, {41, 42}, {47, 50}}};
  const TrendLayout l = trendLayoutOf(points, 50);
  EXPECT_EQ(l.lowest, 40);
  EXPECT_EQ(l.highest, 70);
  EXPECT_LT(l.rowOf(60), l.rowOf(50));  // larger values higher up
  EXPECT_LT(l.columnOf(0), l.columnOf(1));
  // A limit outside the intervals widens the axis to it.
  EXPECT_EQ(trendLayoutOf(points, 30).lowest, 30);

  const Bitmap24 b = trendPicture(points, 50, kEnglish);
  ASSERT_EQ(b.width, kTrendWidth);
  ASSERT_EQ(b.height, kTrendHeight);
  const Rgb left{110, 170, 255}, right{255, 150, 60};
  auto is = [&](int x, int y, Rgb c) { return b.get(x, y) == c; };
  for (int k = 0; k < 3; ++k) {
    EXPECT_TRUE(is(l.columnOf(k) - 3, l.rowOf(points[k].value[0]), left)) << k;
    EXPECT_TRUE(is(l.columnOf(k) + 3, l.rowOf(points[k].value[1]), right)) << k;
    // The interval bar reaches its ends and no further.
    EXPECT_TRUE(is(l.columnOf(k) - 3, l.rowOf(points[k].high95[0]), left)) << k;
    EXPECT_FALSE(is(l.columnOf(k) - 3, l.rowOf(points[k].high95[0]) - 4, left)) << k;
  }
}

}  // namespace
}  // namespace quorvel
