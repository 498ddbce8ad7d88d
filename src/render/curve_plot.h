#pragma once
// The volume-curve plots of the results stage: for each ventricle its fitted volume curve with the
// area under it, the measured instants as squares and the rate of volume change on a second scale
// centred in the plot, 512 x 400 pixels; the labels of the volume axis; the cursor readout.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/trace_log.h"
#include "curves/volume_results.h"
#include "render/pictures.h"

namespace quorvel {

// Draws BMPvg (left ventricle) and BMPvd (right ventricle) from the curves of vc over Ninst
// instants. Nothing but the background and the instant lines is drawn while maxvol is not
// positive; a zero rate amplitude draws the rate curve on the centre row.
void BUILD_BMP_VID(const VolumeCurves& vc, int Ninst, Pictures& pictures, TraceLog& log);

// The labels of the volume axis: one per 20 ml from 0 to maxvol, each at the plot row (from the
// bottom) of its volume, the ones above the plot at its top row.
struct AxisLabel {
  int value = 0;
  int row = 0;
  bool operator==(const AxisLabel&) const = default;
};
std::vector<AxisLabel> AFFICHAGE_GRAD(float maxvol);

// "%2.0f ms  -  %2.0f cc" for the pointer at column x of a plot of the fitted curve.
std::string curveCursorText(int x, int Ninst, float CYCLE, const CycleCurve& curve, int LANGUE);

// Both plots side by side under their titles, each with its volume-axis labels on the left: the
// picture the results stage shows, as one image for reports and the command line.
Bitmap24 curvesPicture(const Pictures& pictures, const VolumeCurves& vc, int LANGUE);

// Where the plots lie in curvesPicture, both ways: a point of the panel to the pixels of the plot
// under it (plot 0 the left ventricle's, 1 the right's; nothing between the plots), and back.
struct PlotPoint {
  int plot = 0;
  int x = 0, y = 0;
};
std::optional<PlotPoint> curvesPicturePlotAt(int x, int y);
std::pair<int, int> curvesPicturePoint(PlotPoint p);

}  // namespace quorvel
