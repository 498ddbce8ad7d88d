#pragma once
// The picture of the regional analysis in the end-diastolic frame: the left
// ventricle's 17-segment bull's-eyes of ejection fraction and of time to
// minimum (anterior up, septum left), the phase histograms of both ventricles,
// their indices, the right ventricle's segments and a legend.
#include "base/bitmap.h"
#include "model3d/segmental.h"

namespace quorvel {

inline constexpr int kSegmentalWidth = 512, kSegmentalHeight = 250;
inline constexpr int kSegmentalCompactHeight = 220;  // without the legend, for the local report

Bitmap24 segmentalPicture(const SegmentalAnalysis& a, int LANGUE, bool withLegend = true);

// Segment of the 17-segment bull's-eye under a point (dx right, dy up) of a
// disc of radius r: 0 outside. Exposed for the tests.
int bullseyeSegmentAt(double dx, double dy, double r);

}  // namespace quorvel
