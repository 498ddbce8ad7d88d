#include "model3d/model3d_commands.h"

#include <cmath>

#include "model3d/bullseye.h"
#include "model3d/mesh.h"
#include "model3d/model3d_texts.h"
#include "model3d/regional.h"
#include "model3d/skeleton.h"
#include "model3d/vec3.h"

namespace quorvel {

namespace {
constexpr float kTiltStep = 0.1f;
constexpr float kShiftStep = 1.0f;
}  // namespace

void PREVISU_3D_BUILD(const ModelInputs& in, const Model3DSettings& set, Model3D& m) {
  const int last = in.study.Ninst - 1;
  BUILD_VISU_3D1(in, m.skel);
  EVAL_VALVES_PLANES(in, m.skel, kClassLeft, kClassRight, 0, last);
  EVAL_SKEL_APEX(in, set, m.skel, kClassLeft, kClassRight, 0, last);
  EVAL_BARYCENTRES(in, m.skel, 0, kClassLeft, kClassRight, 0, last);
  SKEL_DISCRETISE(in, set, m.mesh.mesh_samA, m.skel, kClassLeft, kClassRight, 0, last);
  MAILLAGE_3D_PRE(in, set, m, 0, 1, 0, last);
}

void PREVISU_3D_REBUILD(const ModelInputs& in, const Model3DSettings& set, Model3D& m) {
  const int last = in.study.Ninst - 1;
  // A loaded exam holds its labels, valve voxels included; they are built only when missing.
  if (m.skel.BORD.size() != in.study.DATA.size()) BUILD_VISU_3D1(in, m.skel);
  SKEL_DISCRETISE(in, set, m.mesh.mesh_samA, m.skel, kClassLeft, kClassRight, 0, last);
  MAILLAGE_3D_PRE(in, set, m, 0, 1, 0, last);
}

void PREVISU_3D_UPDATE(const ModelInputs& in, const Model3DSettings& set, Model3D& m, int v, int i) {
  EVAL_SKEL_APEX(in, set, m.skel, v, v, i, i);
  EVAL_BARYCENTRES(in, m.skel, 0, v, v, i, i);
  SKEL_DISCRETISE(in, set, m.mesh.mesh_samA, m.skel, v, v, i, i);
  MAILLAGE_3D_PRE(in, set, m, v - 1, v - 1, i, i);
}

void PREVIEW_SLIDER_CS(const ModelInputs& in, Model3DSettings& set, Model3D& m, int v, int i, int position) {
  set.APEX_dismax[v][0] = static_cast<float>(position) / static_cast<float>(kCsSliderScale);
  m.skel.UPDT_instant[v].fill(0);
  PREVISU_3D_UPDATE(in, set, m, v, i);  // sets the current instant's flag again
}

void PREVIEW_SLIDER_CR(const ModelInputs& in, Model3DSettings& set, Model3D& m, int v, int i, int position) {
  set.Apex_deriv[v][i] = static_cast<float>(position) / static_cast<float>(kCrSliderScale);
  SKEL_DISCRETISE(in, set, m.mesh.mesh_samA, m.skel, v, v, i, i);
  MAILLAGE_3D_PRE(in, set, m, v - 1, v - 1, i, i);
}

void PREV_UNIFORM_APEX(const ModelInputs& in, Model3DSettings& set, Model3D& m, int v, int current) {
  const int last = in.study.Ninst - 1;
  for (int t = 0; t <= last; ++t) set.Apex_deriv[v][t] = set.Apex_deriv[v][current];
  for (int t = 0; t <= last; ++t)
    if (m.skel.UPDT_instant[v][t] == 0) {
      EVAL_SKEL_APEX(in, set, m.skel, v, v, t, t);
      EVAL_BARYCENTRES(in, m.skel, 0, v, v, t, t);
    }
  SKEL_DISCRETISE(in, set, m.mesh.mesh_samA, m.skel, v, v, 0, last);
  MAILLAGE_3D_PRE(in, set, m, v - 1, v - 1, 0, last);
}

void PREV_UNIFORM_CS(const ModelInputs& in, Model3DSettings& set, Model3D& m, int v) {
  const int last = in.study.Ninst - 1;
  for (int t = 0; t < kMaxInstants; ++t) set.APEX_dismax[v][t] = set.APEX_dismax[v][0];
  EVAL_SKEL_APEX(in, set, m.skel, v, v, 0, last);
  EVAL_BARYCENTRES(in, m.skel, 0, v, v, 0, last);
  SKEL_DISCRETISE(in, set, m.mesh.mesh_samA, m.skel, v, v, 0, last);
  MAILLAGE_3D_PRE(in, set, m, v - 1, v - 1, 0, last);
}

void valveTiltAxes(Vec3f n, Vec3f& axis0, Vec3f& axis1) {
  if (n.x != 0.0f) {
    axis0 = normalised({-n.y / n.x, 1.0f, 0.0f});
    const float uy = axis0.y;
    axis1 = normalised({-n.z, -uy * n.y * n.z / n.x, uy * n.y * n.y / n.x + n.x});
    return;
  }
  // A plane parallel to the long axis: tilt about Y (made perpendicular to n), else about Z.
  axis0 = Vec3f{0, 1, 0} - dot({0, 1, 0}, n) * n;
  if (!(norm(axis0) > 1e-6f)) axis0 = Vec3f{0, 0, 1} - dot({0, 0, 1}, n) * n;
  axis0 = normalised(axis0);
  axis1 = normalised(cross(n, axis0));
}

void ADJUST_VALVES_PLANE(const ModelInputs& in, const Model3DSettings& set, Model3D& m, int v, int t, int mode,
                         int axis, int direction) {
  SkeletonModel& sk = m.skel;
  Vec3f n = get3(sk.dsx1, sk.dsy1, sk.dsz1, v, t);
  const Vec3f centre = get3(sk.Sx0, sk.Sy0, sk.Sz0, v, t);
  if (mode == 1) {
    EVAL_ORIG_COORD(in, sk, v, t, centre + (static_cast<float>(direction) * kShiftStep) * n);
  } else {
    Vec3f a0, a1;
    valveTiltAxes(n, a0, a1);
    n = normalised(n - (static_cast<float>(direction) * kTiltStep) * (axis == 0 ? a0 : a1));
    set3(sk.dsx1, sk.dsy1, sk.dsz1, v, t, n);
    EVAL_ORIG_COORD(in, sk, v, t, centre);
  }
  PREVISU_3D_UPDATE(in, set, m, v, t);
}

bool COMPUTE_MODEL_3D(const ModelInputs& in, const Model3DSettings& set, int TACFIT_switch, TacFitSettings& fitSettings,
                      TacFitWork& fit, MapRanges& ranges, Model3D& m, Platform& platform, TraceLog* log, int threads) {
  const int Ninst = in.study.Ninst;
  WaitWindow wait(platform, model3d_texts::kWaitTitle.pick(in.options.LANGUE),
                  model3DProgressSteps(Ninst, meshSampling(in.options.DEFAULT_sama)));
  const bool done = MAILLAGE_3D(in, set, m, &wait, threads) && CALCUL_3D(in, TACFIT_switch, fitSettings, fit, ranges, m, &wait, log, threads) &&
                    TRIANGULATION_3D(Ninst, m, &wait);
  if (!done) {
    m.mesh.mesh_valid = 0;
    return false;
  }
  DEFINE_BULLSEYE_BORD(m.eye, in.options.SECT_25, 1, set.mesh_sect_grad);
  return true;
}

}  // namespace quorvel
