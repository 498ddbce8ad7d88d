#include "segmentation/reprojection.h"

#include <algorithm>

#include "segmentation/segmentation_texts.h"

namespace quorvel {

namespace {

constexpr int kBackgroundFrom = 6, kBackgroundTo = 10;  // columns beyond the ventricle's last
constexpr int kBackgroundHalfHeight = 2;                  // slices either side of the seed
constexpr float kPeakPercent = 99.9f;

// The growth rule: above the threshold, touching the mask, and not a minimum along the row or
// either diagonal (it stops in the valleys between the ventricle and its neighbours).
bool grows(const Reprojection& rp, int t, int z, int y, float T) {
  const float v = rp.at(t, z, y);
  if (!(v > T)) return false;
  const bool touches = rp.mask(t, z - 1, y) == kReprojVentricle || rp.mask(t, z + 1, y) == kReprojVentricle ||
                       rp.mask(t, z, y - 1) == kReprojVentricle || rp.mask(t, z, y + 1) == kReprojVentricle;
  if (!touches) return false;
  return (v > rp.at(t, z, y - 1) || v > rp.at(t, z, y + 1)) &&
         (v > rp.at(t, z - 1, y - 1) || v > rp.at(t, z + 1, y + 1)) &&
         (v > rp.at(t, z + 1, y - 1) || v > rp.at(t, z - 1, y + 1));
}

// One pass at threshold T over every instant; returns the largest column the mask reached.
int growPass(const Study& s, Reprojection& rp, float T) {
  int Ymax = 0;
  for (int t = 0; t < s.Ninst; ++t) {
    for (int z = 0; z < s.NCZ; ++z)
      for (int y = 0; y < kMatrix; ++y) rp.mask(t, z, y) = kReprojOutside;
    if (rp.reproj_lvy >= 0 && rp.reproj_lvy < s.NCZ && rp.reproj_lvx >= 0 && rp.reproj_lvx < kMatrix)
      rp.mask(t, rp.reproj_lvy, rp.reproj_lvx) = kReprojVentricle;
    for (bool added = true; added;) {
      added = false;
      for (int y = 1; y < kMatrix - 1; ++y)
        for (int z = 1; z < s.NCZ - 1; ++z)
          if (rp.mask(t, z, y) == kReprojOutside && grows(rp, t, z, y, T)) {
            rp.mask(t, z, y) = kReprojVentricle;
            Ymax = std::max(Ymax, y);
            added = true;
          }
    }
    // Filling: a pixel with more than four mask pixels in its 3 x 3 neighbourhood joins.
    for (bool changed = true; changed;) {
      changed = false;
      for (int y = 1; y < kMatrix - 1; ++y)
        for (int z = 1; z < s.NCZ - 1; ++z) {
          if (rp.mask(t, z, y) != kReprojOutside) continue;
          int n = 0;
          for (int dz = -1; dz <= 1; ++dz)
            for (int dy = -1; dy <= 1; ++dy) n += rp.mask(t, z + dz, y + dy) == kReprojVentricle;
          if (n > 4) {
            rp.mask(t, z, y) = kReprojVentricle;
            Ymax = std::max(Ymax, y);
            changed = true;
          }
        }
    }
  }
  return Ymax;
}

}  // namespace

Status UPDATE_REPROJECTION(const Study& s, const ReorientSettings& r, WorkflowState& flow, Reprojection& rp,
                           TraceLog& log) {
  Reprojection next = rp;
  next.repromax = 0;
  int seedZ = -1, seedY = -1;
  const int lastRow = std::clamp(r.valves_plano_, 0, kMatrix - 1);
  for (int t = 0; t < s.Ninst; ++t)
    for (int y = 0; y < kMatrix; ++y)
      for (int z = 0; z < s.NCZ; ++z) {
        float sum = 0;
        for (int row = 0; row <= lastRow; ++row) sum += s.at(t, z, row, y);
        next.at(t, z, y) = sum;
        // The first occurrence of the largest value: a first positive sum at the image's edge
        // would seed the ventricle in the background.
        if (sum > next.repromax) next.repromax = sum, seedZ = z, seedY = y;
      }
  if (!(next.repromax > 0))
    return Refusal::of(RefusalCode::NoCounts, segmentation_texts::kReprojectionEmpty);
  const float scale = kReprojectionSpan / next.repromax;
  for (int t = 0; t < s.Ninst; ++t)
    for (int z = 0; z < s.NCZ; ++z)
      for (int y = 0; y < kMatrix; ++y) next.at(t, z, y) *= scale;
  if (flow.segment_done == 0) {
    next.reproj_lvx = seedY;
    next.reproj_lvy = seedZ;
  }
  log.writef("REPROJ  ::  max = %2.0f  ;  seed %d %d\n", next.repromax, next.reproj_lvx, next.reproj_lvy);
  rp = std::move(next);
  flow.segment_done = 1;
  return REPROJ_TAC(s, rp, flow, log);
}

Status REPROJ_TAC(const Study& s, Reprojection& rp, WorkflowState& flow, TraceLog& log) {
  Reprojection next = rp;
  float T = static_cast<float>(s.seuillage * 4);
  int Ymax = growPass(s, next, T);
  float M = 0;
  for (int t = 0; t < s.Ninst; ++t)
    for (int z = 0; z < s.NCZ; ++z)
      for (int y = 0; y < kMatrix; ++y)
        if (next.mask(t, z, y) == kReprojVentricle) M = std::max(M, next.at(t, z, y));
  T = s.seuillage * M / 100.0f;
  Ymax = growPass(s, next, T);

  // The background window beside the ventricle, clipped to the image.
  const int y0 = std::min(Ymax + kBackgroundFrom, kMatrix), y1 = std::min(Ymax + kBackgroundTo, kMatrix - 1);
  const int z0 = std::max(next.reproj_lvy - kBackgroundHalfHeight, 0);
  const int z1 = std::min(next.reproj_lvy + kBackgroundHalfHeight, s.NCZ - 1);
  std::array<float, kMaxInstants> bdf{};
  double B = 0;
  int count = 0;
  for (int t = 0; t < s.Ninst; ++t) {
    double sum = 0;
    int n = 0;
    for (int y = y0; y <= y1; ++y)
      for (int z = z0; z <= z1; ++z) {
        next.mask(t, z, y) = kReprojBackground;
        sum += next.at(t, z, y);
        ++n;
      }
    bdf[t] = n > 0 ? static_cast<float>(sum / n) : 0.0f;
    B += sum, count += n;
  }
  const float background = count > 0 ? static_cast<float>(B / count) : 0.0f;

  float Cm = 0;
  std::array<float, kMaxInstants> tac{};
  for (int t = 0; t < s.Ninst; ++t) {
    double sum = 0;
    int pixels = 0;
    for (int z = 0; z < s.NCZ; ++z)
      for (int y = 0; y < kMatrix; ++y)
        if (next.mask(t, z, y) == kReprojVentricle) sum += next.at(t, z, y) - background / 2, ++pixels;
    tac[t] = static_cast<float>(sum);
    log.writef("REPROJ  ::  inst %d  ;  TAC = %2.0f  ;  BDF = %2.0f\n", t + 1, tac[t], bdf[t]);
    log.writef("REPROJ  ::  inst %d  ;  pixels %d  ;  thresholds %2.1f  ;  Ymax %d\n", t + 1, pixels, T, Ymax);
    Cm = std::max(Cm, tac[t]);
  }
  if (!(Cm > 0)) return Refusal::of(RefusalCode::NoCounts, segmentation_texts::kReprojectionNoCurve);
  int k = 0;
  for (int t = 0; t < s.Ninst; ++t) {
    tac[t] = 100.0f * tac[t] / Cm;
    if (tac[t] > kPeakPercent) k = t;
  }
  for (int t = 0; t < s.Ninst; ++t) next.reproj_tac[t] = tac[(k + t) % s.Ninst];
  rp = std::move(next);
  flow.segment_done = 1;
  return {};
}

void placeReprojectionSeed(Reprojection& rp, int column, int slice, int NCZ) {
  rp.reproj_lvx = std::clamp(column, 0, kMatrix - 1);
  rp.reproj_lvy = std::clamp(slice, 0, std::max(NCZ - 1, 0));
}

}  // namespace quorvel
