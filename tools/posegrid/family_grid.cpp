// family-grid: the automatic placement on a family of varied hearts (tools/phantom/family.h),
// a split at a time. Each case is analysed by `quorvel-cli analyse` twice: with no placement
// option (the proposal) and with the placement a careful user would choose, read from the
// phantom's own frame. A case passes when the proposal's |dLVEF| <= 5 and |dRVEF| <= 8 points
// against the truth and its LV EDV lies within 15 % of the careful placement's. Prints every
// case, the pass rates per factor, the same passes against the whole cycle's truth (the phantom's
// instants are point samples that can miss end-systole), the failures (flagged by a warning or
// silent), and on hearts without a wall fault the left regional EF map of both placements. With
// --segments the careful placement's regional analysis in the end-diastolic frame is read against
// each case's true segments: segmental EF, the faulty wall found, the delay of a late wall. Files
// are cached.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <numbers>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/trace_log.h"
#include "model3d/segmental.h"
#include "phantom/family.h"
#include "phantom/writers.h"
#include "posegrid/grid_runs.h"
#include "segmentation/placement.h"
#include "study/loading.h"

namespace fs = std::filesystem;
using namespace quorvel;
using namespace quorvel::grid;

namespace {

constexpr double kLvEfTolerance = 5, kRvEfTolerance = 8, kEdvTolerance = 0.15, kMapTolerance = 5;
constexpr int kProposalRuns = 3;

struct CaseResult {
  phantom::FamilyCase c;
  std::string error;  // the case could not be built or placed by its truth
  double lvTruth = 0, rvTruth = 0;
  std::array<double, 2> continuousTruth{};  // left, right: over the whole cycle, not at the instants only
  bool passContinuous = false, carefulPassContinuous = false;
  Outcome proposed, careful;
  double proposalMs = -1;
  bool pass = false, carefulPass = false, flagged = false, regional = false, regionalPass = false;
  // Per segment of the 17-segment model (index 1..17): true and measured EF and time to minimum.
  bool segments = false;
  std::array<double, 18> efTruth{}, efMeasured{}, timeTruth{}, timeMeasured{};
  std::array<double, 8> rvEfMeasured{};  // the right ventricle's 7 segments (index 1..7)
  std::array<double, 8> rvEfTruth{};
  std::array<bool, 8> rvHit{};  // the segments a right free-wall fault changes most
};

// A true segment curve as the command line sees it (16 instants averaged in pairs), read as the
// analysis reads its own.
SegmentResult trueSegmentCurve(const std::vector<double>& ml, const phantom::PhantomParams& p) {
  const bool rebin = p.instants == 16;
  const int n = rebin ? 8 : p.instants;
  SegmentResult out;
  for (int t = 0; t < n; ++t) out.ml[t] = static_cast<float>(rebin ? 0.5 * (ml[2 * t] + ml[2 * t + 1]) : ml[t]);
  describeSegmentCurve(out, n, 0, static_cast<float>(60000.0 / p.heart_rate_bpm));
  return out;
}

// The segments a right free-wall fault hits: those whose true volume curve it moves, at some
// instant, by at least half as much (in shares of the end-diastolic volume) as the segment it moves
// most. A dyskinetic band need not lower a segment's ejection fraction: it may swell in systole.
std::array<bool, 8> rvSegmentsHit(const phantom::PhantomParams& p,
                                  const std::vector<phantom::RvSegmentVolumes>& faulty) {
  constexpr double kHitShare = 0.5;
  std::array<bool, 8> hit{};
  if (p.rv_fault.kind == phantom::WallFault::None) return hit;
  phantom::PhantomParams healthy = p;
  healthy.rv_fault.kind = phantom::WallFault::None;
  const std::vector<phantom::RvSegmentVolumes> normal = phantom::rvSegmentVolumes(healthy);
  std::array<double, 8> moved{};
  for (int k = 1; k <= phantom::kRvSegments; ++k)
    for (size_t t = 0; t < normal.size(); ++t)
      if (normal[0][k] > 0) moved[k] = std::max(moved[k], std::fabs(faulty[t][k] - normal[t][k]) / normal[0][k]);
  const double most = *std::max_element(moved.begin(), moved.end());
  for (int k = 1; k <= phantom::kRvSegments; ++k) hit[k] = most > 0 && moved[k] >= kHitShare * most;
  return hit;
}

void readSegmentTruth(const nlohmann::json& truth, const phantom::PhantomParams& p, CaseResult& r) {
  const auto& seg = truth["left_ventricle"]["segments"]["ml_per_instant"];
  for (int k = 1; k <= 17; ++k) {
    const SegmentResult out = trueSegmentCurve(seg[k - 1].get<std::vector<double>>(), p);
    r.efTruth[k] = out.ef, r.timeTruth[k] = out.timeToMinMs;
  }
  // From the parameters: files written before the phantom recorded the right ventricle's segments
  // lack them.
  const std::vector<phantom::RvSegmentVolumes> right = phantom::rvSegmentVolumes(p);
  for (int k = 1; k <= phantom::kRvSegments; ++k) {
    std::vector<double> curve;
    for (const auto& instant : right) curve.push_back(instant[k]);
    r.rvEfTruth[k] = trueSegmentCurve(curve, p).ef;
  }
  r.rvHit = rvSegmentsHit(p, right);
}

void readSegmentResults(const nlohmann::json& j, CaseResult& r) {
  if (!j.contains("segmental") || !j["segmental"].value("valid", false)) return;
  const auto& segs = j["segmental"]["left"]["segments"];
  for (int k = 1; k <= 17; ++k)
    r.efMeasured[k] = segs[k - 1]["ef"].get<double>(), r.timeMeasured[k] = segs[k - 1]["time_to_min_ms"].get<double>();
  const auto& right = j["segmental"]["right"]["segments"];
  for (int k = 1; k <= 7; ++k) r.rvEfMeasured[k] = right[k - 1]["ef"].get<double>();
  r.segments = true;
}

// Ejection fraction of voxelised volumes as the command line sees them: 16 instants summed in
// pairs when it re-bins them.
double efOf(std::vector<double> v, bool rebin) {
  if (rebin && v.size() == 16) {
    std::vector<double> pairs;
    for (size_t i = 0; i + 1 < v.size(); i += 2) pairs.push_back(0.5 * (v[i] + v[i + 1]));
    v = pairs;
  }
  const double ed = v.front(), es = *std::min_element(v.begin(), v.end());
  return 100.0 * (ed - es) / ed;
}

constexpr int kFinePhases = 96;  // a multiple of 8 and 16: the instants are among these phases

// The ejection fractions of the voxelised ventricles over the whole cycle: end-diastole at phase 0,
// end-systole the least volume at fine phases within an instant of the sampled minimum. The
// phantom's instants are point samples, so when end-systole falls between two of them the
// per-instant truth under-reads the heart's own ejection fraction, which a fitted curve aims at.
std::array<double, 2> continuousEfOf(const phantom::PhantomParams& p, const std::vector<double>& lvSampled,
                                     const std::vector<double>& rvSampled) {
  const int n = p.instants, step = kFinePhases / n;
  phantom::PhantomParams fine = p;
  fine.instants = kFinePhases;
  std::array<double, 2> ed{lvSampled[0], rvSampled[0]}, es{lvSampled[0], rvSampled[0]};
  std::array<int, 2> lowest{};
  for (int v = 0; v < 2; ++v) {
    const std::vector<double>& s = v == 0 ? lvSampled : rvSampled;
    lowest[v] = static_cast<int>(std::min_element(s.begin(), s.end()) - s.begin());
    es[v] = s[lowest[v]];
  }
  std::array<double, phantom::kStructureCount> ml{};
  std::map<int, std::array<double, 2>> read;  // fine phase -> left, right ml
  for (int v = 0; v < 2; ++v)
    for (int k = -step + 1; k < step; ++k) {
      const int phase = ((lowest[v] * step + k) % kFinePhases + kFinePhases) % kFinePhases;
      if (!read.count(phase)) {
        phantom::voxeliseInstant(fine, phase, ml);
        read[phase] = {ml[phantom::kLV], ml[phantom::kRV]};
      }
      es[v] = std::min(es[v], read[phase][v]);
    }
  return {100.0 * (ed[0] - es[0]) / ed[0], 100.0 * (ed[1] - es[1]) / ed[1]};
}

// The placement options of the careful user: the crux at the heart origin, rows along the long
// axis, the square framing the end-diastolic ventricles as the proposal frames what it found.
std::string carefulOptions(const phantom::PhantomParams& p, const fs::path& file, const fs::path& work) {
  const auto [x0, y0] = cropOrigin(file, work);
  StudyWorkspace w;
  TraceLog log;
  if (!readAcquisition(file, kFormatDicom, w, log)) return {};
  const Study& s = w.study;
  const double px = p.pixel_mm, sl = p.slice_mm;
  const auto o = phantom::heartOriginWorking(p);
  const auto a = phantom::longAxisWorking(p);
  const PointMm crux{(o[0] - x0) * px, (o[1] - y0) * px, o[2] * sl};
  std::array<double, phantom::kStructureCount> ml{};
  std::vector<uint8_t> dominant;
  phantom::voxeliseInstant(p, 0, ml, &dominant);
  std::vector<PointMm> ventricles;
  const int M = p.matrix;
  for (size_t i = 0; i < dominant.size(); ++i) {
    if (dominant[i] != phantom::kLV && dominant[i] != phantom::kRV) continue;
    const int z = static_cast<int>(i / (static_cast<size_t>(M) * M)), x = static_cast<int>(i / M % M),
              y = static_cast<int>(i % M);
    if (x - x0 < 0 || x - x0 >= kMatrix || y - y0 < 0 || y - y0 >= kMatrix) continue;
    ventricles.push_back({(x - x0) * px, (y - y0) * px, z * sl});
  }
  const FramedPlacement f = placementOfFrame(s, crux, {a[0], a[1], a[2]}, ventricles);
  if (!f.linesInside) return {};
  const Placement& q = f.placement;
  char opts[240];
  std::snprintf(opts, sizeof opts, "--crop %d,%d,%d --rotation %.3f --valve-angle %.3f --septum %d --valve-row %d",
                q.recad_x, q.recad_y, q.recad_t, q.rotation * 180.0 / std::numbers::pi, q.valves_angle,
                q.septum_plano, q.valves_plano_);
  return opts;
}

fs::path caseFile(const phantom::FamilyCase& c, const fs::path& cache) {
  const fs::path dir = cache / c.name;
  const fs::path file = dir / "ph_el.dcm";
  if (fs::exists(file) && fs::exists(dir / "ph_el.truth.json")) return file;
  return phantom::writeAcquisitions(phantom::buildPhantom(c.params), dir, "ph", {phantom::OutputFormat::DicomExplicit})
      .at(0);
}

bool warned(const Outcome& o) { return o.status != 0 || (o.json.contains("warnings") && !o.json["warnings"].empty()); }

CaseResult runCase(const phantom::FamilyCase& c, const fs::path& cache, const fs::path& work, const std::string& cli,
                   bool regional, bool segments) {
  CaseResult r;
  r.c = c;
  try {
    const fs::path file = caseFile(c, cache);
    std::ifstream tin(fs::path(file).replace_extension(".truth.json"));
    const nlohmann::json truth = nlohmann::json::parse(tin);
    const auto& vox = truth["voxelised_structures_ml_per_instant"];
    r.lvTruth = efOf(vox["left_ventricle"].get<std::vector<double>>(), true);
    r.rvTruth = efOf(vox["right_ventricle"].get<std::vector<double>>(), true);
    const fs::path continuousFile = file.parent_path() / "continuous.txt";
    if (std::ifstream in(continuousFile); !(in >> r.continuousTruth[0] >> r.continuousTruth[1])) {
      r.continuousTruth = continuousEfOf(c.params, vox["left_ventricle"].get<std::vector<double>>(),
                                         vox["right_ventricle"].get<std::vector<double>>());
      std::ofstream(continuousFile) << r.continuousTruth[0] << ' ' << r.continuousTruth[1] << '\n';
    }
    const fs::path optsFile = file.parent_path() / "careful.txt";
    std::string opts;
    if (std::ifstream in(optsFile); in) std::getline(in, opts);
    if (opts.empty()) {
      opts = carefulOptions(c.params, file, work);
      if (opts.empty()) throw std::runtime_error("the careful placement falls outside the steps' range");
      std::ofstream(optsFile) << opts << '\n';
    }
    r.regional = regional && c.params.lv_fault.kind == phantom::WallFault::None;
    const std::string model = r.regional ? " --3d" : "";
    r.proposed = analyse(cli, file, work, model);
    r.careful = analyse(cli, file, work, opts + (segments ? " --3d" : model));
    if (segments) {
      readSegmentTruth(truth, c.params, r);
      readSegmentResults(r.careful.json, r);
    }
    r.proposalMs = proposalMs(file, true, kProposalRuns);
  } catch (const std::exception& e) {
    r.error = e.what();
    return r;
  }
  auto within = [&](const Outcome& o, double edvRef, double lvTruth, double rvTruth) {
    const bool results = o.status == 0 || !o.json.is_null();
    return results && std::fabs(o.lvef - lvTruth) <= kLvEfTolerance && std::fabs(o.rvef - rvTruth) <= kRvEfTolerance &&
           (edvRef <= 0 || std::fabs(o.lvedv / edvRef - 1) <= kEdvTolerance);
  };
  const double edvRef = r.careful.json.is_null() ? 0 : r.careful.lvedv;
  r.pass = within(r.proposed, edvRef, r.lvTruth, r.rvTruth);
  r.carefulPass = within(r.careful, 0, r.lvTruth, r.rvTruth);
  r.passContinuous = within(r.proposed, edvRef, r.continuousTruth[0], r.continuousTruth[1]);
  r.carefulPassContinuous = within(r.careful, 0, r.continuousTruth[0], r.continuousTruth[1]);
  r.flagged = warned(r.proposed);
  if (r.regional && !r.proposed.json.is_null() && !r.careful.json.is_null()) {
    const double dm = r.proposed.json["mesh_fej_mean"][0].get<double>() - r.careful.json["mesh_fej_mean"][0].get<double>();
    const double ds = r.proposed.json["mesh_fej_std"][0].get<double>() - r.careful.json["mesh_fej_std"][0].get<double>();
    r.regionalPass = std::fabs(dm) <= kMapTolerance && std::fabs(ds) <= kMapTolerance;
  }
  return r;
}

std::string caseLine(const CaseResult& r) {
  char line[600];
  if (!r.error.empty()) {
    std::snprintf(line, sizeof line, "%-9s ERROR %s", r.c.name.c_str(), r.error.c_str());
    return line;
  }
  const Outcome& o = r.proposed;
  std::string tail;
  if (!o.json.is_null()) {
    const auto& pl = o.json["placement"];
    char b[200];
    std::snprintf(b, sizeof b, "| %d,%d,%d rot %+6.1f sept %d valve %d tilt %+5.1f", pl["recad_x"].get<int>(),
                  pl["recad_y"].get<int>(), pl["recad_t"].get<int>(), pl["rotation"].get<double>() * 180 / std::numbers::pi,
                  pl["septum_plano"].get<int>(), pl["valves_plano_"].get<int>(), pl["valves_angle"].get<double>());
    tail = b;
    if (o.json.contains("quality")) {
      const auto& q = o.json["quality"];
      std::snprintf(b, sizeof b, " | against %.2f/%.2f flank %.2f conf %.2f", q["against_share"][0].get<double>(),
                    q["against_share"][1].get<double>(), q["septum_flank"].get<double>(),
                    pl.value("confidence", -1.0));
      tail += b;
    }
    if (r.regional && !r.careful.json.is_null()) {
      std::snprintf(b, sizeof b, " | map %.1f+-%.1f careful %.1f+-%.1f", o.json["mesh_fej_mean"][0].get<double>(),
                    o.json["mesh_fej_std"][0].get<double>(), r.careful.json["mesh_fej_mean"][0].get<double>(),
                    r.careful.json["mesh_fej_std"][0].get<double>());
      tail += b;
    }
  } else {
    tail = "| exit " + std::to_string(o.status) + ": " + o.lastLogLine();
  }
  std::snprintf(line, sizeof line,
                "%-9s %s%s LVEF %5.1f (%+5.1f, careful %+5.1f)  RVEF %5.1f (%+5.1f, careful %+5.1f)  EDV %6.1f (%+5.1f %%) %s",
                r.c.name.c_str(), r.pass ? "pass" : "FAIL", r.flagged ? "*" : " ", o.lvef, o.lvef - r.lvTruth,
                r.careful.lvef - r.lvTruth, o.rvef, o.rvef - r.rvTruth, r.careful.rvef - r.rvTruth, o.lvedv,
                r.careful.lvedv > 0 ? 100 * (o.lvedv / r.careful.lvedv - 1) : 0.0, tail.c_str());
  return line;
}

// The same passes against the whole cycle's truth, and the careful placement's LVEF error against
// both truths, per number of instants in the file.
void printContinuousTruth(const std::vector<CaseResult>& results) {
  int n = 0, pass = 0, careful = 0;
  std::map<int, std::array<std::vector<double>, 2>> errors;  // instants -> error against the instants, the cycle
  for (const CaseResult& r : results) {
    if (!r.error.empty()) continue;
    ++n, pass += r.passContinuous, careful += r.carefulPassContinuous;
    if (r.careful.json.is_null()) continue;
    errors[r.c.params.instants][0].push_back(r.careful.lvef - r.lvTruth);
    errors[r.c.params.instants][1].push_back(r.careful.lvef - r.continuousTruth[0]);
  }
  std::printf("   against the whole cycle's truth: proposal passes %d / %d, the careful placement %d / %d\n", pass, n,
              careful, n);
  for (const auto& [instants, e] : errors) {
    std::printf("   careful LVEF error, %2d instants (%zu):", instants, e[0].size());
    for (int k = 0; k < 2; ++k) {
      double mean = 0, square = 0;
      for (double x : e[k]) mean += x / e[k].size(), square += x * x / e[k].size();
      const long beyond =
          std::count_if(e[k].begin(), e[k].end(), [](double x) { return std::fabs(x) > kLvEfTolerance; });
      std::printf(" %s %+.2f +- %.2f (%ld beyond %.0f)", k ? "; the cycle" : "the instants", mean,
                  std::sqrt(std::max(0.0, square - mean * mean)), beyond, kLvEfTolerance);
    }
    std::printf("\n");
  }
}

void printSummary(const std::vector<CaseResult>& results) {
  int n = 0, pass = 0, carefulPass = 0, refused = 0, flaggedFailures = 0, silent = 0, flaggedPasses = 0, regional = 0,
      regionalPass = 0;
  struct Tally {
    int n = 0, pass = 0, careful = 0, silent = 0;
  };
  std::vector<std::string> factorOrder;
  std::map<std::string, std::map<std::string, Tally>> byFactor;
  std::vector<double> ms;
  for (const CaseResult& r : results) {
    if (!r.error.empty()) continue;
    ++n;
    pass += r.pass, carefulPass += r.carefulPass;
    refused += r.proposed.json.is_null();
    flaggedFailures += !r.pass && r.flagged;
    silent += !r.pass && !r.flagged;
    flaggedPasses += r.pass && r.flagged;
    regional += r.regional, regionalPass += r.regional && r.regionalPass;
    if (r.proposalMs >= 0) ms.push_back(r.proposalMs);
    for (const auto& [factor, level] : r.c.factors) {
      if (!byFactor.count(factor)) factorOrder.push_back(factor);
      Tally& t = byFactor[factor][level];
      ++t.n, t.pass += r.pass, t.careful += r.carefulPass, t.silent += !r.pass && !r.flagged;
    }
  }
  auto pct = [](int a, int b) { return b ? 100.0 * a / b : 0.0; };
  std::printf("\n== Proposal passes %d / %d (%.1f %%); the careful placement %d / %d (%.1f %%)\n", pass, n, pct(pass, n),
              carefulPass, n, pct(carefulPass, n));
  std::printf("   failures flagged by a warning %d, silent %d; refused %d; passes with a warning %d\n", flaggedFailures,
              silent, refused, flaggedPasses);
  printContinuousTruth(results);
  std::printf("   regional LV EF map within %.0f points of the careful one (mean and SD), no wall fault: %d / %d\n",
              kMapTolerance, regionalPass, regional);
  if (!ms.empty())
    std::printf("   proposal time: median %.1f ms, max %.1f ms\n", median(ms), *std::max_element(ms.begin(), ms.end()));
  std::printf("== Per factor: cases, proposal passes, careful passes, silent failures\n");
  for (const std::string& f : factorOrder) {
    std::printf("   %s\n", f.c_str());
    for (const auto& [level, t] : byFactor[f])
      std::printf("      %-24s %3d  %3d (%5.1f %%)  %3d  %2d\n", level.c_str(), t.n, t.pass, pct(t.pass, t.n), t.careful,
                  t.silent);
  }
  std::printf("== Failures\n");
  for (const CaseResult& r : results)
    if (!r.pass) std::printf("   %s\n", caseLine(r).c_str());
}

// Mean and sample SD of the normal hearts' values of one segment (both 0 with fewer than two).
struct MeanSd {
  double mean = 0, sd = 0;
};
MeanSd meanSdOf(const std::vector<double>& v) {
  if (v.size() < 2) return {};
  MeanSd r;
  for (double x : v) r.mean += x;
  r.mean /= v.size();
  for (double x : v) r.sd += (x - r.mean) * (x - r.mean);
  r.sd = std::sqrt(r.sd / (v.size() - 1));
  return r;
}

// The hearts whose normal segments give the limits a segment is judged against, and where they
// come from: this run's own (in-sample) or another split's, as a normal database would be.
struct NormalReference {
  const std::vector<CaseResult>& hearts;
  std::string from;
};

// The right free-wall fault found: the right ventricle's septal segments move little in every heart,
// so a segment is judged against its own normal mean and SD (hearts without a fault in either
// ventricle): the fault is found when the segment lying furthest below its normal mean, in SDs, and
// below its limit (mean - 2 SD) is one the fault hits.
void printRightSegmentSummary(const std::vector<CaseResult>& results, const NormalReference& reference) {
  constexpr double kNormalRvEf = 40, kEfTolerance = 8;
  std::array<std::vector<double>, 8> normals;
  auto isNormal = [](const CaseResult& r) {
    return r.segments && r.c.params.lv_fault.kind == phantom::WallFault::None &&
           r.c.params.rv_fault.kind == phantom::WallFault::None && r.rvTruth >= kNormalRvEf;
  };
  int cases = 0, segs = 0, close = 0;
  std::array<double, 8> errorSum{};
  for (const CaseResult& r : results) {
    if (!r.segments) continue;
    ++cases;
    for (int k = 1; k <= 7; ++k) {
      const double error = r.rvEfMeasured[k] - r.rvEfTruth[k];
      ++segs, close += std::fabs(error) <= kEfTolerance, errorSum[k] += error;
    }
  }
  for (const CaseResult& r : reference.hearts)
    if (isNormal(r))
      for (int k = 1; k <= 7; ++k) normals[k].push_back(r.rvEfMeasured[k]);
  std::printf("   right ventricle: EF within %.0f points of the truth: %d / %d (%.1f %%); mean error per segment:",
              kEfTolerance, close, segs, segs ? 100.0 * close / segs : 0.0);
  for (int k = 1; k <= 7; ++k) std::printf(" %d:%+.1f", k, cases ? errorSum[k] / cases : 0.0);
  std::printf("\n");
  if (normals[1].size() < 2) return;
  std::array<double, 8> mean{}, sd{};
  for (int k = 1; k <= 7; ++k) {
    const MeanSd m = meanSdOf(normals[k]);
    mean[k] = m.mean, sd[k] = std::max(1e-6, m.sd);
  }
  std::printf("   right ventricle, normal limits (mean - 2 SD, %zu hearts %s without a fault and RVEF >= %.0f):",
              normals[1].size(), reference.from.c_str(), kNormalRvEf);
  for (int k = 1; k <= 7; ++k) std::printf(" %d:%.0f", k, mean[k] - 2 * sd[k]);
  std::printf("\n");
  int faults = 0, found = 0, normalSegs = 0, normalFlagged = 0;
  for (const CaseResult& r : results) {
    if (!r.segments) continue;
    if (isNormal(r))
      for (int k = 1; k <= 7; ++k) ++normalSegs, normalFlagged += r.rvEfMeasured[k] < mean[k] - 2 * sd[k];
    const phantom::RvWallFaultParams& f = r.c.params.rv_fault;
    if (f.kind == phantom::WallFault::None) continue;
    int low = 1;
    for (int k = 2; k <= 7; ++k)
      if ((r.rvEfMeasured[k] - mean[k]) / sd[k] < (r.rvEfMeasured[low] - mean[low]) / sd[low]) low = k;
    std::string hit;
    for (int k = 1; k <= 7; ++k)
      if (r.rvHit[k]) hit += std::to_string(k);
    const bool ok = r.rvHit[low] && r.rvEfMeasured[low] < mean[low] - 2 * sd[low];
    ++faults, found += ok;
    std::printf("   %-9s right free-wall fault in segment %d (hits %s): lowest against normal %d (%.0f, limit %.0f, "
                "truth %.0f) %s\n",
                r.c.name.c_str(), f.segment, hit.c_str(), low, r.rvEfMeasured[low], mean[low] - 2 * sd[low],
                r.rvEfTruth[low], ok ? "found" : "MISSED");
  }
  std::printf("   right free-wall fault found: %d / %d; normal right segments below their limit: %d / %d\n", found,
              faults, normalFlagged, normalSegs);
}

// Segmental EF against the truth; normal limits (mean - 2 SD per segment over the reference's hearts
// without a fault); the faulty wall found; the delay of a late wall.
void printSegmentSummary(const std::vector<CaseResult>& results, const NormalReference& reference) {
  constexpr double kEfTolerance = 8, kNoiseFreeTolerance = 4, kDelayTolerance = 20, kTieEf = 5, kNormalEf = 50;
  std::array<std::vector<double>, 18> normals;
  std::array<int, 18> closeBySegment{};
  std::array<double, 18> errorSum{};
  int segs = 0, close = 0, closer = 0, cases = 0;
  auto isNormal = [](const CaseResult& r) {
    return r.c.params.lv_fault.kind == phantom::WallFault::None && r.lvTruth >= kNormalEf;
  };
  for (const CaseResult& r : results) {
    if (!r.segments) continue;
    ++cases;
    for (int k = 1; k <= 17; ++k) {
      const double error = r.efMeasured[k] - r.efTruth[k];
      const bool near = std::fabs(error) <= kEfTolerance;
      ++segs, close += near, closeBySegment[k] += near, closer += std::fabs(error) <= kNoiseFreeTolerance;
      errorSum[k] += error;
    }
  }
  for (const CaseResult& r : reference.hearts)
    if (r.segments && isNormal(r))
      for (int k = 1; k <= 17; ++k) normals[k].push_back(r.efMeasured[k]);
  std::array<double, 18> limit{};
  for (int k = 1; k <= 17; ++k) {
    const MeanSd m = meanSdOf(normals[k]);
    limit[k] = m.mean - 2 * m.sd;
  }
  int faults = 0, found = 0, normalSegs = 0, normalFlagged = 0, late = 0, lateWithin = 0;
  int visibleFaults = 0, visibleFound = 0;  // faults whose true lowest segment lies below its limit
  std::printf("\n== Segments (careful placement): EF within %.0f points of the truth: %d / %d (%.1f %%); within %.0f "
              "(the target without noise): %d\n",
              kEfTolerance, close, segs, segs ? 100.0 * close / segs : 0.0, kNoiseFreeTolerance, closer);
  std::printf("   per segment:");
  for (int k = 1; k <= 17; ++k) std::printf(" %d:%d", k, closeBySegment[k]);
  std::printf(" of %d\n", cases);
  // Counting noise sets most of the error: the same count by the study's total counts.
  constexpr std::array<double, 4> kCountBandsM{0, 10, 20, 1e9};
  std::printf("   by total counts:");
  for (size_t b = 0; b + 1 < kCountBandsM.size(); ++b) {
    int n = 0, near = 0;
    for (const CaseResult& r : results) {
      const double m = r.c.params.total_counts / 1e6;
      if (!r.segments || m < kCountBandsM[b] || m >= kCountBandsM[b + 1]) continue;
      for (int k = 1; k <= 17; ++k) ++n, near += std::fabs(r.efMeasured[k] - r.efTruth[k]) <= kEfTolerance;
    }
    if (b + 2 < kCountBandsM.size())
      std::printf(" %.0f-%.0f M %d / %d;", kCountBandsM[b], kCountBandsM[b + 1], near, n);
    else
      std::printf(" >= %.0f M %d / %d\n", kCountBandsM[b], near, n);
  }
  std::printf("   mean error per segment (points):");
  for (int k = 1; k <= 17; ++k) std::printf(" %d:%+.1f", k, cases ? errorSum[k] / cases : 0.0);
  std::printf("\n");
  std::printf("   normal limits (mean - 2 SD, %zu hearts %s without a fault and LVEF >= %.0f):", normals[1].size(),
              reference.from.c_str(), kNormalEf);
  for (int k = 1; k <= 17; ++k) std::printf(" %d:%.0f", k, limit[k]);
  std::printf("\n");
  for (const CaseResult& r : results) {
    if (!r.segments) continue;
    const phantom::WallFault kind = r.c.params.lv_fault.kind;
    auto lowest = [](const std::array<double, 18>& ef) {
      int low = 1;
      for (int k = 2; k <= 17; ++k)
        if (ef[k] < ef[low]) low = k;
      return low;
    };
    if (kind == phantom::WallFault::None) {
      if (isNormal(r))
        for (int k = 1; k <= 17; ++k) ++normalSegs, normalFlagged += r.efMeasured[k] < limit[k];
    } else if (kind == phantom::WallFault::Late) {
      // The latest true segment, against the median time of all.
      int latest = 1;
      for (int k = 2; k <= 17; ++k)
        if (r.timeTruth[k] > r.timeTruth[latest]) latest = k;
      // Times lie on a cycle: a delay is read within half a cycle either way.
      const double cycleMs = 60000.0 / r.c.params.heart_rate_bpm;
      auto delayOf = [&](const std::array<double, 18>& t) {
        std::vector<double> v(t.begin() + 1, t.end());
        std::nth_element(v.begin(), v.begin() + 8, v.end());
        const double d = std::fmod(t[latest] - v[8], cycleMs);
        return d > cycleMs / 2 ? d - cycleMs : d < -cycleMs / 2 ? d + cycleMs : d;
      };
      const double truth = delayOf(r.timeTruth), measured = delayOf(r.timeMeasured);
      ++late, lateWithin += std::fabs(measured - truth) <= kDelayTolerance;
      std::printf("   %-9s late wall, segment %2d: delay %5.0f ms, measured %5.0f\n", r.c.name.c_str(), latest, truth,
                  measured);
    } else {
      const int trueLow = lowest(r.efTruth), low = lowest(r.efMeasured);
      const bool tie = r.efTruth[low] <= r.efTruth[trueLow] + kTieEf;
      const bool ok = tie && r.efMeasured[low] < limit[low];
      ++faults, found += ok;
      if (r.efTruth[trueLow] < limit[trueLow]) ++visibleFaults, visibleFound += ok;
      std::printf("   %-9s fault: true lowest %2d (%.0f), measured lowest %2d (%.0f, limit %.0f, truth %.0f) %s\n",
                  r.c.name.c_str(), trueLow, r.efTruth[trueLow], low, r.efMeasured[low], limit[low], r.efTruth[low],
                  ok ? "found" : "MISSED");
    }
  }
  std::printf(
      "   faulty wall the lowest segment and below its normal limit: %d / %d; of the faults whose true lowest "
      "segment lies below its limit: %d / %d\n",
      found, faults, visibleFound, visibleFaults);
  printRightSegmentSummary(results, reference);
  std::printf("   normal segments below their limit: %d / %d\n", normalFlagged, normalSegs);
  std::printf("   late wall delay within %.0f ms: %d / %d\n", kDelayTolerance, lateWithin, late);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"The automatic placement on a family of varied hearts"};
  std::string cache = (fs::temp_directory_path() / "quorvel-family").string();
  std::string cli = QUORVEL_CLI, splitName = "tune";
  int cases = 40, first = 0, jobs = 2;
  bool regional = false, segments = false, noiseFree = false;
  double countsTimes = 1.0;
  app.add_option("--split", splitName,
                 "tune, test or retest; tune2, test2, retest2 and test3 also fault the right free wall")
      ->capture_default_str()
      ->check([](const std::string& name) {
        phantom::FamilySplit split;
        return phantom::parseSplit(name, split) ? std::string() : "unknown split: " + name;
      });
  app.add_option("--cases", cases, "Cases drawn")->capture_default_str();
  app.add_option("--first", first, "Index of the first case")->capture_default_str();
  app.add_option("--jobs", jobs, "Cases run at once")->capture_default_str()->check(CLI::Range(1, 16));
  app.add_flag("--segments", segments, "Also read the careful placement's segments against the true ones");
  app.add_flag("--regional", regional, "Also build the 3D model of hearts without a wall fault and compare the maps");
  app.add_flag("--noise-free", noiseFree, "The same hearts without counting noise");
  app.add_option("--counts-times", countsTimes, "The same hearts with their counts multiplied by this")
      ->capture_default_str()
      ->check(CLI::Range(0.01, 100.0));
  std::string normalsSplit;
  int normalsCases = 120;
  app.add_option("--normals-from", normalsSplit,
                 "Take the segments' normal limits from this split's hearts without a fault (default: this run's own)")
      ->check([](const std::string& name) {
        phantom::FamilySplit split;
        return phantom::parseSplit(name, split) ? std::string() : "unknown split: " + name;
      });
  app.add_option("--normals-cases", normalsCases, "Cases of that split drawn")->capture_default_str();
  app.add_option("--cache", cache, "Folder of the phantom files (kept between runs)")->capture_default_str();
  app.add_option("--cli", cli, "quorvel-cli to run")->capture_default_str();
  CLI11_PARSE(app, argc, argv);
  phantom::FamilySplit split{};
  phantom::parseSplit(splitName, split);

  // The cases of a split run `jobs` at a time, each line printed as it ends when asked.
  auto runSplit = [&](phantom::FamilySplit from, int firstCase, int count, bool withSegments, bool print) {
    std::vector<CaseResult> results(static_cast<size_t>(count));
    std::atomic<int> next{0};
    std::mutex printing;
    auto worker = [&](int k) {
      const fs::path work = fs::path(cache) / ("work" + std::to_string(k));
      fs::create_directories(work);
      for (int i; (i = next++) < count;) {
        phantom::FamilyCase c = phantom::drawFamilyCase(from, firstCase + i);
        if (noiseFree) c.params.noise = false, c.name += "-nf";  // cached apart from the noisy files
        if (countsTimes != 1.0) {
          c.params.total_counts *= countsTimes;
          std::ostringstream tag;  // cached apart as well
          tag << "-c" << countsTimes;
          c.name = c.name + tag.str();
        }
        results[i] = runCase(c, fs::path(cache), work, cli, regional && print, withSegments);
        if (!print) continue;
        std::lock_guard<std::mutex> lock(printing);
        std::printf("%s\n", caseLine(results[i]).c_str());
        std::fflush(stdout);
      }
    };
    std::vector<std::thread> pool;
    for (int k = 0; k < jobs; ++k) pool.emplace_back(worker, k);
    for (std::thread& t : pool) t.join();
    return results;
  };
  const std::vector<CaseResult> results = runSplit(split, first, cases, segments, true);
  printSummary(results);
  if (segments) {
    if (normalsSplit.empty()) {
      printSegmentSummary(results, {results, "of this run (in-sample)"});
    } else {
      phantom::FamilySplit from{};
      phantom::parseSplit(normalsSplit, from);
      const std::vector<CaseResult> normals = runSplit(from, 0, normalsCases, true, false);
      printSegmentSummary(results, {normals, "of " + normalsSplit + " 0-" + std::to_string(normalsCases - 1)});
    }
  }
  return 0;
}
