#pragma once
// The one redraw of the current stage: every change of data, setting or instant rebuilds the
// picture of that stage, then the user interface shows the views named.
#include <string>
#include <vector>

#include "base/platform.h"
#include "base/trace_log.h"
#include "curves/volume_results.h"
#include "render/pictures.h"
#include "render/segmentation_layout.h"
#include "render/segmentation_view.h"
#include "segmentation/segmentation_state.h"
#include "study/loading.h"

namespace quorvel {

// What a redraw reads.
struct PictureSources {
  const StudyWorkspace& w;
  const Segmentation& seg;
  const VolumeCurves& vc;
};

// The views rebuilt and the caption of the panel (empty when the stage has none).
struct PictureUpdate {
  std::vector<View> views;
  std::string caption;
};

// Stage 1: the re-orientation view; 2: the segmentation mosaic of the current instant (and the
// retouching window when open); 3: both volume-curve plots. The 3D stages (22, 4) and the others
// rebuild nothing here.
PictureUpdate UPDATE_BMP(int stage, const PictureSources& in, SegmentationLayout& mosaic, Pictures& pictures,
                         TraceLog& log, const Pointers& pointers = {});

}  // namespace quorvel
