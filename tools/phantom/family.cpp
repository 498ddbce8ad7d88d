#include "phantom/family.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace quorvel::phantom {

namespace {

constexpr double kShareRvFault = 0.3;  // of the faults of the splits that fault the right ventricle
constexpr int kMaxRedraws = 50;
constexpr double kMaxRvEdvMl = 300.0;
constexpr double kLengthPerCubeRoot = 1.72;  // 120 ml and 85 mm: the default heart's proportions

struct Range {
  double lo, hi;
};

// What a split draws from. The two splits overlap without coinciding.
struct FamilyRanges {
  Range lvEdvMl, lvEf, esPct, elongation, rvToLv, rvEf, septumMm, atrialGapMm, countsM, pixel64, pixel128, fovMm;
  Range rotationDeg, tiltDeg, shiftInPlaneMm, shiftSlicesMm, fwhmMm, faultSize;
  double share128, shareTouching, shareFault, shareFeetFirst, share16;
};

constexpr FamilyRanges kTuning{{50, 300},  {10, 75},   {28, 42},  {0.80, 1.12}, {0.9, 1.5}, {25, 65},
                               {6, 16},    {3, 14},    {6, 40},   {5.0, 7.0},   {3.0, 4.0}, {190, 280},
                               {-40, 40},  {-20, 20},  {-30, 30}, {-20, 20},    {11, 15},   {0.2, 0.4},
                               0.35,       0.35,       0.6,       0.3,          0.5};
constexpr FamilyRanges kTest{{60, 350},  {8, 80},    {30, 45},  {0.78, 1.15}, {0.85, 1.6}, {20, 70},
                             {8, 20},    {2, 12},    {4, 48},   {4.4, 7.0},   {3.0, 4.4},  {180, 290},
                             {-45, 45},  {-22, 22},  {-35, 35}, {-25, 25},    {10, 16},    {0.2, 0.45},
                             0.4,        0.4,        0.6,       0.3,          0.5};

class Draw {
 public:
  explicit Draw(uint64_t seed) : engine_(seed) {}
  double uniform(Range r) { return r.lo + (r.hi - r.lo) * unit(); }
  double logUniform(Range r) { return std::exp(uniform({std::log(r.lo), std::log(r.hi)})); }
  bool chance(double p) { return unit() < p; }
  int pick(int n) { return std::min(n - 1, static_cast<int>(unit() * n)); }

 private:
  double unit() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }
  std::mt19937_64 engine_;
};

const char* faultLabel(WallFault k) {
  switch (k) {
    case WallFault::Akinetic: return "akinetic";
    case WallFault::Hypokinetic: return "hypokinetic";
    case WallFault::Dyskinetic: return "dyskinetic";
    case WallFault::Late: return "late";
    case WallFault::None: break;
  }
  return "none";
}

const char* rvThirdLabel(int segment) {
  return segment == 2 ? "RV basal free wall" : segment == 4 ? "RV mid free wall" : "RV apical free wall";
}

const char* ringLabel(int sector) {
  return sector == 1 ? "apex" : sector <= 5 ? "apical ring" : sector <= 11 ? "mid ring" : "basal ring";
}

PhantomParams drawParams(const FamilyRanges& r, Draw& d, bool rvFaults) {
  PhantomParams p;
  p.matrix = d.chance(r.share128) ? 128 : 64;
  p.pixel_mm = d.uniform(p.matrix == 128 ? r.pixel128 : r.pixel64);
  p.slice_mm = p.pixel_mm;
  p.slices = std::clamp(static_cast<int>(std::lround(d.uniform(r.fovMm) / p.slice_mm)), 24, 128);
  p.instants = d.chance(r.share16) ? 16 : 8;
  p.supersample = 3;
  p.fwhm_mm = d.uniform(r.fwhmMm);
  p.noise_fwhm_mm = p.fwhm_mm;
  p.total_counts = 1e6 * d.logUniform(r.countsM);
  p.seed = static_cast<uint64_t>(d.uniform({1, 1e9}));

  p.lv.edv_ml = d.logUniform(r.lvEdvMl);
  p.lv.ef_percent = d.uniform(r.lvEf);
  p.lv.es_phase_pct = d.uniform(r.esPct);
  p.rv = p.lv;
  p.rv.edv_ml = std::clamp(p.lv.edv_ml * d.uniform(r.rvToLv), 60.0, kMaxRvEdvMl);
  p.rv.ef_percent = d.uniform(r.rvEf);
  p.rv.es_phase_pct = std::clamp(p.lv.es_phase_pct + d.uniform({-3, 3}), 25.0, 48.0);

  AnatomyParams& an = p.anatomy;
  // Elongation below 1 is a sphere-like dilated ventricle, above 1 a slender one.
  an.lv_length_mm = kLengthPerCubeRoot * d.uniform(r.elongation) * std::cbrt(p.lv.edv_ml * 1000.0);
  an.base_descent_mm = std::min(0.4 * an.lv_length_mm, d.uniform({6, 14}) * p.lv.ef_percent / 60.0);
  an.septum_mm = d.uniform(r.septumMm);
  an.rv_junction_mm = d.uniform({3, 6});
  an.rv_apex_extra_mm = d.uniform({2, 10});
  an.atrial_gap_mm = d.chance(r.shareTouching) ? 0.0 : d.uniform(r.atrialGapMm);
  an.la_min_ml = d.uniform({20, 60});
  an.ra_min_ml = d.uniform({25, 70});
  an.liver_blood_fraction = d.uniform({0.15, 0.5});
  an.spleen_blood_fraction = d.uniform({0.3, 0.7});
  an.lung_blood_fraction = d.uniform({0.05, 0.2});

  const bool faulty = d.chance(r.shareFault);
  if (faulty && rvFaults && d.chance(kShareRvFault)) {
    static constexpr WallFault kRvKinds[] = {WallFault::Akinetic, WallFault::Hypokinetic, WallFault::Dyskinetic};
    p.rv_fault.kind = kRvKinds[d.pick(3)];
    p.rv_fault.segment = 2 * (1 + d.pick(3));
    p.rv_fault.size = d.uniform({0.25, 0.45});
  } else if (faulty) {
    static constexpr WallFault kKinds[] = {WallFault::Akinetic, WallFault::Hypokinetic, WallFault::Dyskinetic,
                                           WallFault::Late};
    static constexpr int kSectors[] = {1, 1, 3, 5, 8, 10, 11, 14, 16};
    p.lv_fault.kind = kKinds[d.pick(4)];
    p.lv_fault.sector = kSectors[d.pick(9)];
    p.lv_fault.size = d.uniform(r.faultSize);
    p.lv_fault.delay_pct = std::min(d.uniform({8, 20}), 88.0 - p.lv.es_phase_pct);
  }
  p.rotation_deg = d.uniform(r.rotationDeg);
  p.tilt_deg = d.uniform(r.tiltDeg);
  p.shift_row_mm = d.uniform(r.shiftInPlaneMm);
  p.shift_column_mm = d.uniform(r.shiftInPlaneMm);
  p.shift_slice_mm = d.uniform(r.shiftSlicesMm);
  if (d.chance(r.shareFeetFirst)) p.mirror_slices = true, p.patient.position = "FFS";
  return p;
}

std::string band(double v, std::initializer_list<std::pair<double, const char*>> upper, const char* above) {
  for (const auto& [limit, label] : upper)
    if (v < limit) return label;
  return above;
}

std::vector<std::pair<std::string, std::string>> factorsOf(const PhantomParams& p) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d", p.matrix);
  const std::string matrix = buf;
  std::string disease = faultLabel(p.lv_fault.kind);
  if (p.lv_fault.kind != WallFault::None) disease += std::string(" ") + ringLabel(p.lv_fault.sector);
  if (p.rv_fault.kind != WallFault::None)
    disease = std::string(faultLabel(p.rv_fault.kind)) + " " + rvThirdLabel(p.rv_fault.segment);
  return {{"LV size", band(p.lv.edv_ml, {{90, "EDV < 90 ml"}, {200, "EDV 90-200 ml"}}, "EDV >= 200 ml")},
          {"LV EF", band(p.lv.ef_percent, {{30, "EF < 30 %"}, {50, "EF 30-50 %"}}, "EF >= 50 %")},
          {"disease", disease},
          {"atria", p.anatomy.atrial_gap_mm == 0 ? "touching the base" : "apart"},
          {"septum", band(p.anatomy.septum_mm, {{10, "< 10 mm"}}, ">= 10 mm")},
          {"shape", band(p.anatomy.lv_length_mm / (kLengthPerCubeRoot * std::cbrt(p.lv.edv_ml * 1000.0)),
                         {{0.9, "spherical"}}, "ellipsoidal")},
          {"matrix", matrix},
          {"pixel", band(p.pixel_mm, {{4.5, "< 4.5 mm"}, {6.0, "4.5-6 mm"}}, ">= 6 mm")},
          {"instants", p.instants == 16 ? "16" : "8"},
          {"position", p.patient.position},
          {"counts", band(p.total_counts, {{10e6, "< 10 M"}}, ">= 10 M")},
          {"pose", band(std::max(std::fabs(p.rotation_deg), 2 * std::fabs(p.tilt_deg)), {{15, "near standard"}, {30, "turned"}},
                        "turned far")}};
}

// Each split: its name, a seed space of its own, the ranges it draws from, and whether it gives
// some wall faults to the right free wall.
struct SplitSpec {
  FamilySplit split;
  const char* name;
  uint64_t seedBase;
  bool tuning, rvFaults;
};
constexpr SplitSpec kSplits[] = {
    {FamilySplit::Tuning, "tune", 0x7475'6e65'0000'0000ULL, true, false},
    {FamilySplit::Test, "test", 0x7465'7374'0000'0000ULL, false, false},
    {FamilySplit::Retest, "retest", 0x7265'7465'7374'0000ULL, false, false},
    {FamilySplit::Tuning2, "tune2", 0x7475'6e65'3200'0000ULL, true, true},
    {FamilySplit::Test2, "test2", 0x7465'7374'3200'0000ULL, false, true},
    {FamilySplit::Retest2, "retest2", 0x7265'7465'7374'3200ULL, false, true},
    {FamilySplit::Test3, "test3", 0x7465'7374'3300'0000ULL, false, true},
};

const SplitSpec& splitOf(FamilySplit s) {
  for (const SplitSpec& spec : kSplits)
    if (spec.split == s) return spec;
  return kSplits[0];  // every enumerator has its row
}

}  // namespace

const char* splitName(FamilySplit s) { return splitOf(s).name; }

bool parseSplit(const std::string& name, FamilySplit& s) {
  for (const SplitSpec& spec : kSplits)
    if (name == spec.name) {
      s = spec.split;
      return true;
    }
  return false;
}

FamilyCase drawFamilyCase(FamilySplit split, int index) {
  const SplitSpec& spec = splitOf(split);
  Draw d(spec.seedBase + static_cast<uint64_t>(index));
  const FamilyRanges& r = spec.tuning ? kTuning : kTest;
  FamilyCase c;
  char name[32];
  std::snprintf(name, sizeof name, "%s-%03d", splitName(split), index);
  c.name = name;
  for (int k = 0; k < kMaxRedraws; ++k) {
    c.params = drawParams(r, d, spec.rvFaults);
    if (validate(c.params).empty()) break;
  }
  c.params.patient.id = c.name;
  c.factors = factorsOf(c.params);
  return c;
}

}  // namespace quorvel::phantom
