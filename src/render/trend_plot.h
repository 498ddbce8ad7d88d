#pragma once
// The ejection fractions of a patient's exams over time with their 95 % intervals, and the limit
// of the fall criterion: the picture of a follow-up of three or more exams.
#include <string>
#include <vector>

#include "base/bitmap.h"

namespace quorvel {

struct TrendPoint {
  std::string date;                      // YYYYMMDD, or empty
  double value[2], low95[2], high95[2];  // [0] left, [1] right ventricle, per cent
};

inline constexpr int kTrendWidth = 600, kTrendHeight = 320;

// Where the plot puts an exam and a value (pixels, y from the top), for the drawing and its tests.
struct TrendLayout {
  int exams = 0;
  double lowest = 0, highest = 100;  // the value axis, per cent
  int columnOf(int exam) const;
  int rowOf(double value) const;
};
// The axis from the points: every interval and the limit inside, in steps of 10 %.
TrendLayout trendLayoutOf(const std::vector<TrendPoint>& points, double limit);

Bitmap24 trendPicture(const std::vector<TrendPoint>& points, double limit, int LANGUE);

}  // namespace quorvel
