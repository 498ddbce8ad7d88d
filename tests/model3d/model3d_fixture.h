#pragma once
// The 3D model tests' road: a phantom through re-orientation (default square, 2x zoom),
// segmentation, volume curves, the preview and the full model.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "phantom_study.h"
#include "base/scripted_platform.h"
#include "model3d/model3d_commands.h"
#include "phantom/phantom.h"
#include "segmentation/corrections.h"
#include "segmentation/reorient.h"
#include "segmentation/volume_curves.h"

namespace quorvel::testing {

struct AnalysedPhantom {
  phantom::Phantom ph;
  StudyWorkspace w;
  Segmentation seg;
  ScriptedPlatform platform;
  TraceLog log;
  CurveState curves;
  Model3DStudySettings settings3d;
  Model3D m;
  ModelInputs inputs() const { return {w.study, seg, w.settings.limits, w.settings.reorient, w.options}; }
};

// Runs the road; with full false it stops after the preview.
inline std::unique_ptr<AnalysedPhantom> analysePhantom(const phantom::PhantomParams& p, bool full = true,
                                                       int threads = 0) {
  auto a = std::make_unique<AnalysedPhantom>();
  a->ph = phantom::buildPhantom(p);
  loadPhantom(a->ph, a->w);
  SegmentationContext c{a->w, a->seg, a->platform, a->log, std::filesystem::path(QUORVEL_TEST_TMP)};
  EXPECT_EQ(FICH_VALIDATE(c), ReorientOutcome::StepValidated);
  selectStep(a->w.settings.flow, 1);
  EXPECT_EQ(FICH_VALIDATE(c), ReorientOutcome::StepValidated);
  EXPECT_EQ(FICH_VALIDATE(c), ReorientOutcome::Segmented);
  EXPECT_EQ(VERIF_VENT(c), 1);
  EXPECT_TRUE(VIDANGE(c, a->curves).ok());
  const ModelInputs in = a->inputs();
  PREVISU_3D_BUILD(in, a->settings3d.model3d, a->m);
  if (full) {
    EXPECT_TRUE(COMPUTE_MODEL_3D(in, a->settings3d.model3d, a->w.settings.curves.TACFIT_switch, a->curves.settings,
                                 a->curves.fit, a->settings3d.ranges, a->m, a->platform, &a->log, threads));
  }
  return a;
}

// Model coordinates of a phantom heart point (mm in the heart frame, no rotation or tilt) after
// the default re-orientation: the central 32 x 32 square fills the slice (2x in-plane zoom).
inline Vec3f heartToModel(const phantom::PhantomParams& p, double u, double v, double w) {
  const double row = p.matrix / 2 + u / p.pixel_mm, col = p.matrix / 2 + v / p.pixel_mm;
  const double z = w / p.slice_mm;  // slices keep their size; the zoom halves the in-plane voxel
  return {static_cast<float>(2 * (row - 16) - 32), static_cast<float>(2 * (col - 16) - 32),
          static_cast<float>(z * 2)};
}

}  // namespace quorvel::testing
