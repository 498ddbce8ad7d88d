#pragma once
// The panels of the result reports, drawn straight into buffers of the sizes a report places
// them at: strips of slices with their title, blocks of text, the volume-curve plots with their
// axis labels.
#include <string>

#include "base/bitmap.h"
#include "curves/volume_results.h"
#include "render/pictures.h"
#include "segmentation/segmentation_state.h"
#include "study/loading.h"

namespace quorvel {

inline constexpr int kStripHeight = 84;  // title line, then one row of 64 x 64 cells
inline constexpr int kStripCell = 64;
inline constexpr int kReportLineHeight = 12;

enum class StripAxis {
  LongAxis,   // the study's own slices (horizontal long-axis cuts once re-oriented) over the ventricles' range
  ShortAxis,  // sections across the slices at one row, rows spread over the ventricles' length
};

// The strip of instant t along axis, width pixels wide (width / 64 cells): counts through the
// look-up table with the outlines of both ventricles in their class colours, cells spread evenly
// over the range holding a ventricle at t (the whole study when none does); title above.
Bitmap24 sliceStripPanel(const StudyWorkspace& w, const Segmentation& seg, const Pictures& p, int t, StripAxis axis,
                         const std::string& title, int width, Rgb background);

// Lines of UTF-8 text (split at '\n') from the top-left corner, kReportLineHeight apart; lines that do
// not fit are cut. The text is white on a dark background, black on a light one.
Bitmap24 textPanel(int width, int height, const std::string& text, Rgb background);

// The plot of one ventricle (BMPvg or BMPvd, as BUILD_BMP_VID drew it) with the labels of its
// volume axis written inside its left edge.
Bitmap24 curvePanel(const Bitmap24& plot, float maxvol);

// End-systole for the slice strips: the instant of the smallest measured left-ventricle volume
// (the right's when the left has none); 0 when no curve was measured.
int endSystoleInstant(const VolumeCurves& vc, int Ninst);

}  // namespace quorvel
