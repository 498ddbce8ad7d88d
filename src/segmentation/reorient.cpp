#include "segmentation/reorient.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <new>
#include <vector>

#include "base/large_buffers.h"
#include "base/messages.h"
#include "segmentation/classification.h"
#include "segmentation/corrections.h"
#include "segmentation/reorient_texts.h"
#include "segmentation/segmentation_texts.h"
#include "segmentation/undo.h"
#include "study/view_data.h"

namespace quorvel {

namespace {

constexpr int kSquareMin = 16;
constexpr float kAngleLimit = 40.0f;
constexpr float kTiltThreshold = 0.01f;  // degrees; smaller tilts are not applied
constexpr double kRadPerDegree = 0.0175;

// The six values a validation records and a replay restores.
struct StepValues {
  int fich_axis;
  float rotation, valves_angle;
  int recad_x, recad_y, recad_t;
};

// The taps of one bilinear sample at (u, w) of a plane of nu x nw samples: the neighbours in range,
// in the order the sum takes them, with their weights, and the weights' total. Neighbours outside
// are skipped and the weights taken renormalise. u0, w0 truncate towards zero, so a position just
// below 0 still reads the first two samples (with one negative weight). A resampling computes the
// taps of each output position once and applies them to every slice and instant.
struct BilinearTaps {
  int count = 0;
  std::array<ptrdiff_t, 4> offset{};
  std::array<double, 4> weight{};
  double total = 0;

  float apply(const float* base) const {
    double sum = 0;
    for (int k = 0; k < count; ++k) sum += weight[k] * base[offset[k]];
    return total > 0 ? static_cast<float>(sum / total) : 0.0f;
  }
};

BilinearTaps bilinearTaps(int nu, int nw, size_t strideU, size_t strideW, double u, double w) {
  BilinearTaps taps;
  // Beyond these no neighbour is in range; the test also rejects NaN before the casts.
  if (!(u > -2.0 && u < nu && w > -2.0 && w < nw)) return taps;
  const int u0 = static_cast<int>(u), w0 = static_cast<int>(w);
  const int u1 = u0 + 1, w1 = w0 + 1;
  auto take = [&](int iu, int iw, double f) {
    if (iu < 0 || iu >= nu || iw < 0 || iw >= nw) return;
    taps.offset[taps.count] = static_cast<ptrdiff_t>(iu * strideU + iw * strideW);
    taps.weight[taps.count++] = f;
    taps.total += f;
  };
  take(u0, w0, (u1 - u) * (w1 - w));
  take(u0, w1, (u1 - u) * (w - w0));
  take(u1, w0, (u - u0) * (w1 - w));
  take(u1, w1, (u - u0) * (w - w0));
  return taps;
}

std::vector<float> allocateWork(size_t n, int LANGUE, Platform& platform) {
  try {
    std::vector<float> work;
    assignVolume(work, n, 0.0f);
    return work;
  } catch (const std::bad_alloc&) {
    MOMS(platform, LANGUE, " DD345 ");
  }
}

// Every slice of every instant from the rotated square, into out.
void resampleInPlane(const Study& s, const StepValues& v, std::vector<float>& out) {
  const double sn = std::sin(v.rotation), cs = std::cos(v.rotation);
  const int half = v.recad_t / 2;
  std::vector<BilinearTaps> taps(kSliceVoxels);
  for (int r = 0; r < kMatrix; ++r) {
    const double dr = v.recad_x - half + static_cast<double>(v.recad_t) * r / kMatrix - v.recad_x;
    for (int q = 0; q < kMatrix; ++q) {
      const double dq = v.recad_y - half + static_cast<double>(v.recad_t) * q / kMatrix - v.recad_y;
      const double u = v.recad_x + dr * cs + dq * sn;
      const double w = v.recad_y - dr * sn + dq * cs;
      taps[r * kMatrix + q] = bilinearTaps(kMatrix, kMatrix, kMatrix, 1, u, w);
    }
  }
  for (int t = 0; t < s.Ninst; ++t)
    for (int z = 0; z < s.NCZ; ++z) {
      const float* src = &s.DATA[Study::index(s.NCZ, t, z, 0, 0)];
      float* dst = &out[Study::index(s.NCZ, t, z, 0, 0)];
      for (int i = 0; i < kSliceVoxels; ++i) dst[i] = taps[i].apply(src);
    }
}

// Each column's (slice, row) plane turned about slice NCZ / 2, row 32, in millimetres.
void resampleTilt(const Study& s, float valves_angle, std::vector<float>& out) {
  const double a = valves_angle * kRadPerDegree, cs = std::cos(a), sn = std::sin(a);
  const double k = static_cast<double>(s.VOXEL_SIZE_Z) / s.VOXEL_SIZE_XY;
  const int h = s.NCZ / 2;
  // The taps of each (slice, row), the same for every column and instant.
  std::vector<BilinearTaps> taps(static_cast<size_t>(s.NCZ) * kMatrix);
  for (int z = 0; z < s.NCZ; ++z) {
    const double d = (z - h) * k;
    for (int r = 0; r < kMatrix; ++r) {
      const double u = (r - 32) * cs + d * sn + 32;
      const double w = h + (d * cs - (r - 32) * sn) / k;
      if (u >= 0 && w >= 0)
        taps[static_cast<size_t>(z) * kMatrix + r] = bilinearTaps(kMatrix, s.NCZ, kMatrix, kSliceVoxels, u, w);
    }
  }
  for (int t = 0; t < s.Ninst; ++t) {
    const float* src = &s.DATA[Study::index(s.NCZ, t, 0, 0, 0)];
    for (int z = 0; z < s.NCZ; ++z)
      for (int r = 0; r < kMatrix; ++r) {
        const BilinearTaps& tap = taps[static_cast<size_t>(z) * kMatrix + r];
        float* dst = &out[Study::index(s.NCZ, t, z, r, 0)];
        for (int q = 0; q < kMatrix; ++q) dst[q] = tap.apply(src + q);
      }
  }
}

void recomputeProjection(StudyWorkspace& w) {
  EVAL_VLA_PROJ(w.study, w.projection, projectionSettingsOf(w.study, w.options));
}

// A recorded step must be one the interaction can produce: a square of 16 to 64 voxels inside the
// slice, a rotation as the pointer gives it, a tilt within the key's limits.
bool usableRecord(const ValidationRecords& rec, int i) {
  if (i < 0 || i >= std::min(rec.N_list, kMaxValidationRecords)) return false;
  const int side = rec.list_recad_t[i], half = side / 2;
  auto inside = [&](int centre) { return centre - half >= 0 && centre + half <= kMatrix; };
  const float rotation = rec.list_rotation[i], tilt = rec.list_valve_angle[i];
  return rec.list_fich_axis[i] >= 0 && rec.list_fich_axis[i] <= 2 && side >= kSquareMin && side <= kMatrix &&
         inside(rec.list_recad_x[i]) && inside(rec.list_recad_y[i]) && std::isfinite(rotation) &&
         std::fabs(rotation) <= 3.1416f && std::isfinite(tilt) && std::fabs(tilt) <= kAngleLimit;
}

// The labels no longer match the resampled counts: the segmentation and everything computed from
// it must be made again (validating step 2, or entering the segmentation stage, re-segments).
void dropSegmentation(SegmentationContext& c) {
  WorkflowState& flow = c.w.settings.flow;
  if (!flow.segment_done && c.seg.LPE.empty()) return;
  c.seg = Segmentation{};
  flow.segment_done = flow.vidange_done = flow.Previsu_OK = flow.build_visu = 0;
  flow.segment_updt1 = flow.segment_updt2 = 1;
}

}  // namespace

std::optional<Refusal> refusalOf(ReorientOutcome outcome) {
  switch (outcome) {
    case ReorientOutcome::SegmentationRefused: return tooManyRegions();
    case ReorientOutcome::SegmentationCancelled:
      return Refusal::of(RefusalCode::Cancelled, segmentation_texts::kSegmentationCancelled);
    case ReorientOutcome::RecordsFull: return Refusal::of(RefusalCode::RecordsFull, reorient_texts::kRecordsFull);
    case ReorientOutcome::BadRecord: return Refusal::of(RefusalCode::BadRecord, reorient_texts::kBadRecord);
    case ReorientOutcome::NoVoxelSize: return Refusal::of(RefusalCode::NoVoxelSize, reorient_texts::kNoVoxelSize);
    default: return std::nullopt;
  }
}

ReorientOutcome FICH_VALIDATE(SegmentationContext& c) {
  Study& s = c.w.study;
  ReorientSettings& r = c.w.settings.reorient;
  WorkflowState& flow = c.w.settings.flow;
  ValidationRecords& rec = r.records;
  const int LANGUE = c.w.options.LANGUE;
  const bool reproj = c.w.options.REPROJ != 0;
  c.log.WRITE_LOGFILE("fich val 0 in\n");
  if (!s.loaded()) return ReorientOutcome::NoStudy;

  // Every check comes before the first change, so a refusal leaves everything as it was.
  const bool replay = rec.LIST_PROC != 0;
  StepValues v{flow.fich_axis, r.rotation, r.valves_angle, r.recad_x, r.recad_y, r.recad_t};
  if (replay) {
    if (!usableRecord(rec, rec.C_list)) return ReorientOutcome::BadRecord;
    const int i = rec.C_list;
    v = {rec.list_fich_axis[i], rec.list_rotation[i], rec.list_valve_angle[i],
         rec.list_recad_x[i],   rec.list_recad_y[i],  rec.list_recad_t[i]};
  } else if (v.fich_axis < 0 || v.fich_axis > 2) {
    return ReorientOutcome::UnknownStep;
  } else if (rec.N_list < 0 || rec.N_list >= kMaxValidationRecords) {
    return ReorientOutcome::RecordsFull;
  }
  const bool tilt = v.fich_axis == 1 && std::fabs(v.valves_angle) > kTiltThreshold;
  if (tilt && !(s.VOXEL_SIZE_XY > 0 && s.VOXEL_SIZE_Z > 0 && std::isfinite(s.VOXEL_SIZE_Z / s.VOXEL_SIZE_XY)))
    return ReorientOutcome::NoVoxelSize;

  const ReorientSettings before = r;
  const int fichBefore = flow.fich_axis;
  if (replay) {
    flow.fich_axis = v.fich_axis;
    r.rotation = v.rotation;
    r.valves_angle = v.valves_angle;
    r.recad_x = v.recad_x;
    r.recad_y = v.recad_y;
    r.recad_t = v.recad_t;
  } else {
    const int i = rec.N_list++;
    rec.list_fich_axis[i] = v.fich_axis;
    rec.list_rotation[i] = v.rotation;
    rec.list_valve_angle[i] = v.valves_angle;
    rec.list_recad_x[i] = v.recad_x;
    rec.list_recad_y[i] = v.recad_y;
    rec.list_recad_t[i] = v.recad_t;
  }
  c.log.WRITE_LOGFILE("fich val 0 1\n");
  // Steps 0 and 1 resample into a fresh volume, so DATA is never left half done.
  std::vector<float> out;
  if (v.fich_axis == 0 || tilt) out = allocateWork(s.DATA.size(), LANGUE, c.platform);
  c.log.WRITE_LOGFILE("fich val 0 2\n");

  if (v.fich_axis == 2 && reproj) return ReorientOutcome::ReprojectionValidated;  // the caller computes the curve
  if (v.fich_axis == 2) {
    if (const Status segmented = segmentValidatedStudy(c); !segmented) {
      // Not recorded either: a template replays only validations that took effect.
      r = before;
      flow.fich_axis = fichBefore;
      return segmented.code() == RefusalCode::Cancelled ? ReorientOutcome::SegmentationCancelled
                                                        : ReorientOutcome::SegmentationRefused;
    }
    return ReorientOutcome::Segmented;  // the segmentation has asked for the redraw
  }

  dropSegmentation(c);
  if (v.fich_axis == 0) {
    emptyUndo(flow);
    resampleInPlane(s, v, out);
    s.DATA.swap(out);
    stampCounts(s);
    c.log.WRITE_LOGFILE("fich val 0 \n");
    s.VOXEL_SIZE_XY = s.VOXEL_SIZE_XY * v.recad_t / 64.0f;
    flow.stade_axis = 2;
    r.recad_x = r.recad_y = 32;
    r.recad_t = 64;
    r.rotation = 0;
    c.log.WRITE_LOGFILE("fich val 0 out\n");
  } else {
    c.log.WRITE_LOGFILE("fich val 1 in\n");
    emptyUndo(flow);
    if (tilt) {
      resampleTilt(s, v.valves_angle, out);
      s.DATA.swap(out);
      stampCounts(s);
    }
    c.log.WRITE_LOGFILE("fich val 1\n");
    flow.stade_axis = 3;
    // In reprojection mode the caller refreshes the reprojection instead of moving to step 2.
    if (!reproj) flow.fich_axis = 2;
    r.valves_angle = 0;
    c.log.WRITE_LOGFILE("fich val 1 out\n");
  }
  recomputeProjection(c.w);
  c.platform.pictureChanged(View::Reorientation);
  return ReorientOutcome::StepValidated;
}

void beginSquareDrag(ReorientSettings& r) {
  r.recad_x0 = r.recad_x;
  r.recad_y0 = r.recad_y;
}

void dragSquare(ReorientSettings& r, int dRows, int dCols) {
  const int half = r.recad_t / 2;
  // Lower bound first: a 64 square cannot satisfy both and ends at 31.
  auto clampCentre = [&](int centre) {
    if (centre - half < 0) centre = half;
    if (centre + half > kMatrix - 1) centre = kMatrix - 1 - half;
    return centre;
  };
  r.recad_x = clampCentre(r.recad_x0 + dRows);
  r.recad_y = clampCentre(r.recad_y0 + dCols);
}

void pointSquareAt(ReorientSettings& r, double row, double col) {
  r.rotation = static_cast<float>(std::atan2(col - r.recad_y, r.recad_x - row));
  // Only straight below the centre: pi stored as a float lies above 3.1415927.
  if (r.rotation > 3.1415927) r.rotation = static_cast<float>(r.rotation - 3.1415927);
}

bool growSquare(ReorientSettings& r) {
  const int half = r.recad_t / 2;
  auto inside = [&](int centre) { return centre - half > 0 && centre + half < kMatrix - 1; };
  if (!inside(r.recad_x) || !inside(r.recad_y)) return false;
  r.recad_t += 2;
  return true;
}

bool shrinkSquare(ReorientSettings& r) {
  if (r.recad_t <= kSquareMin) return false;
  r.recad_t -= 2;
  return true;
}

bool movePlaneLine(ReorientSettings& r, int fich_axis, int delta) {
  int* line = fich_axis == 0 ? &r.septum_plano : fich_axis == 1 ? &r.valves_plano_ : nullptr;
  if (!line) return false;
  const int moved = std::clamp(*line + delta, kLineMin, kLineMax);
  if (moved == *line) return false;
  *line = moved;
  return true;
}

bool tiltValves(ReorientSettings& r, int fich_axis, int delta) {
  if (fich_axis != 1) return false;
  const float tilted = std::clamp(r.valves_angle + static_cast<float>(delta), -kAngleLimit, kAngleLimit);
  if (tilted == r.valves_angle) return false;
  r.valves_angle = tilted;
  return true;
}

bool mirrorColumns(StudyWorkspace& w) {
  if (w.settings.flow.fich_axis != 0 || !w.study.loaded()) return false;
  DATA_SYMETRY_HOR(w.study);
  recomputeProjection(w);
  return true;
}

void mirrorRowsOrSlices(StudyWorkspace& w) {
  if (!w.study.loaded()) return;
  DATA_SYMETRY_VER(w.study, w.settings.flow.fich_axis);
  recomputeProjection(w);
}

void nextStep(WorkflowState& flow) {
  if (flow.stade_axis > 0) flow.fich_axis = (flow.fich_axis + 1) % flow.stade_axis;
}

bool selectStep(WorkflowState& flow, int step) {
  if (step < 0 || step >= flow.stade_axis) return false;
  flow.fich_axis = step;
  return true;
}

bool setInfundibulumSlice(SegmentationContext& c, int slice) {
  StudyWorkspace& w = c.w;
  const Study& s = w.study;
  if (w.settings.flow.fich_axis != 2 || w.options.REPROJ != 0 || s.NCZ <= 0) return false;
  const int plane = std::clamp(slice, 0, s.NCZ - 1);
  w.settings.reorient.infand_plane = plane;
  for (int t = 0; t < s.Ninst && t < kMaxInstants; ++t) w.settings.limits.limD_inf[t] = plane;
  // A limit of the right ventricle changed: as the limit command does.
  if (hasLabels(c)) EVAL_STRUC_MAX(s, w.settings.limits, c.seg);
  w.settings.flow.segment_updt1 = w.settings.flow.segment_updt2 = 1;
  return true;
}

}  // namespace quorvel
