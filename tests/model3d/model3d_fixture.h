#pragma once
// The 3D model tests' road: a phantom through re-orientation (default square, 2x zoom),
// segmentation, volume curves, the preview and the full model.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "../segmentation/phantom_study.h"
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
  Model3D m;
  ModelInputs inputs() const { return {w.study, seg, w.settings.limits, w.settings.reorient, w.options}; }
};

// Keeps the reference file of the curve fits out of the user's folder.
inline void useScratchHome() {
  static const bool set = [] {
    const auto home = std::filesystem::path(QUORVEL_TEST_TMP) / "home";
    std::filesystem::create_directories(home);
    return setenv("QUORVEL_HOME", home.c_str(), 1) == 0;
  }();
  (void)set;
}

// Runs the road; with full false it stops after the preview.
inline std::unique_ptr<AnalysedPhantom> analysePhantom(const phantom::PhantomParams& p, bool full = true,
                                                       int threads = 0) {
  useScratchHome();
  auto a = std::make_unique<AnalysedPhantom>();
  a->ph = phantom::buildPhantom(p);
  loadPhantom(a->ph, a->w);
  SegmentationContext c{a->w, a->seg, a->platform, a->log, std::filesystem::path(QUORVEL_TEST_TMP)};
  EXPECT_EQ(FICH_VALIDATE(c), ReorientOutcome::StepValidated);
  SELECT_STEP(a->w.settings.flow, 1);
  EXPECT_EQ(FICH_VALIDATE(c), ReorientOutcome::StepValidated);
  EXPECT_EQ(FICH_VALIDATE(c), ReorientOutcome::Segmented);
  EXPECT_EQ(VERIF_VENT(c), 1);
  EXPECT_EQ(VIDANGE(c, a->curves), 0);
  const ModelInputs in = a->inputs();
  PREVISU_3D_BUILD(in, a->w.settings.model3d, a->m);
  if (full) {
    EXPECT_TRUE(COMPUTE_MODEL_3D(in, a->w.settings.model3d, a->w.settings.curves, a->curves.fit, a->m, a->platform,
                                 &a->log, threads));
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
