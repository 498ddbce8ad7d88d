#pragma once
// The picture of the re-orientation stage, 512 x 512 at 8 pixels per voxel, one layout per step:
// step 0 the slice with the crop square, its direction tick, the septum line and the threshold
// contour; step 1 the long-axis section (or projection) with the valve-plane line; step 2 the
// long-axis check section with the infundibulum plane.
#include <string>

#include "base/bitmap.h"
#include "base/trace_log.h"
#include "render/palettes.h"
#include "study/loading.h"

namespace quorvel {

// Builds BMPfich for the step fich_axis and the current instant of w. Positions outside the study
// show entry 0 (steps 0 and 2) or black (step 1); every index stays within 0..400.
void BUILD_BMP_FICH(const StudyWorkspace& w, const LookupTable& lut, Bitmap24& BMPfich, TraceLog& log);

// The caption of the panel for the step shown.
std::string reorientationCaption(const StudyWorkspace& w);

// Look-up index of an interpolated count: c x 400 / datamax x 100 / gamma_, capped at 400 and
// rounded; 0 for a study without counts.
int countIndex(float c, float datamax, int gamma_);

}  // namespace quorvel
