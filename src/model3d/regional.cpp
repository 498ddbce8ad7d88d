#include "model3d/regional.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "curves/numerics.h"
#include "curves/tacfit_ref.h"
#include "model3d/bullseye.h"
#include "model3d/model3d_texts.h"
#include "model3d/parallel.h"

namespace quorvel {

namespace {

constexpr float kTwoPi = 2.0f * static_cast<float>(std::numbers::pi);
constexpr float kPercentPerRadian = 15.915494f;
constexpr float kHistoTop = 150.0f;
constexpr float kRateStep = 5.0f;
constexpr float kEmptyCurveShare = 0.01f;

enum MapIndex { kFej = 0, kTej, kPer, kPfr, kTper, kTpfr };
bool isTimeMap(int k) { return k == kTej || k == kTper || k == kTpfr; }

std::vector<float>* mapOf(RegionalMaps& m, int k) {
  std::vector<float>* all[6] = {&m.MESH_FEJ, &m.MESH_TEJ, &m.MESH_PER, &m.MESH_PFR, &m.MESH_TPER, &m.MESH_TPFR};
  return all[k];
}
Histogram* histoOf(RegionalMaps& m, int k, int v) {
  Histogram* all[6] = {&m.histo_fej[v], &m.histo_tej[v], &m.histo_per[v],
                       &m.histo_pfr[v], &m.histo_tper[v], &m.histo_tpfr[v]};
  return all[k];
}

void ensureMaps(RegionalMaps& m) {
  const size_t n = static_cast<size_t>(2) * kMeshSize * kMeshSize;
  for (int k = 0; k < 6; ++k)
    if (mapOf(m, k)->size() != n) mapOf(m, k)->assign(n, 0.0f);
}

// One fitted node: the six values, already wrapped into the cycle for the times.
struct NodeFit {
  float v[6] = {};
  bool failed = false;
};

float wrapTime(float t) { return t > 100.0f ? t - 100.0f : t; }

// Mean phase (percent of the cycle) of phases weighted by w, in 0..100.
float circularMean(const float* phase, const float* w, int n) {
  double x = 0, y = 0;
  for (int i = 0; i < n; ++i) {
    const double a = kTwoPi * phase[i] / 100.0;
    const double wi = w ? w[i] : 1.0;
    x += wi * std::cos(a), y += wi * std::sin(a);
  }
  float angle = static_cast<float>(std::atan2(y, x));
  if (angle < 0) angle += kTwoPi;
  return angle * kPercentPerRadian;
}

// Bins b of the window: cmin..cmax, or around the cycle when cmin > cmax (times only).
bool inWindow(int b, int cmin, int cmax, bool wraps) {
  if (cmin <= cmax || !wraps) return b >= cmin && b <= cmax;
  return b >= cmin || b <= cmax;
}

void linearStats(const Histogram& h, int cmin, int cmax, float& mean, float& sd) {
  double w = 0, s = 0;
  for (int b = 0; b < kHistoBins; ++b)
    if (inWindow(b, cmin, cmax, false)) w += h[b], s += b * h[b];
  mean = w > 0 ? static_cast<float>(s / w) : 0.0f;
  double v = 0;
  for (int b = 0; b < kHistoBins; ++b)
    if (inWindow(b, cmin, cmax, false)) v += (b - mean) * (b - mean) * h[b];
  sd = static_cast<float>(std::sqrt(w > 0 ? v / w : 0.0));
}

void circularStats(const Histogram& h, int cmin, int cmax, float& mean, float& sd) {
  double w = 0, x = 0, y = 0;
  for (int b = 0; b < kHistoBins; ++b)
    if (inWindow(b, cmin, cmax, true)) {
      const double a = kTwoPi * b / 100.0;
      w += h[b], x += h[b] * std::cos(a), y += h[b] * std::sin(a);
    }
  if (!(w > 0)) {
    mean = sd = 0;
    return;
  }
  float angle = static_cast<float>(std::atan2(y, x));
  if (angle < 0) angle += kTwoPi;
  mean = angle * kPercentPerRadian;
  double v = 0;
  for (int b = 0; b < kHistoBins; ++b)
    if (inWindow(b, cmin, cmax, true)) {
      double d = std::fabs(b - mean);
      if (100.0 - d < d) d = 100.0 - d;
      v += h[b] * d * d;
    }
  sd = static_cast<float>(std::sqrt(v / w));
}

int toMs(const StudyRecord& s, float phase) {
  return static_cast<int>(static_cast<float>(s.Ninst) * s.CYCLE * phase / 100.0f + 0.5f);
}


}  // namespace

float meshRateCorrection(float largestRate) {
  float c = kRateStep;
  if (std::isfinite(largestRate))
    while (c < largestRate) c += kRateStep;
  return 100.0f / c;
}

int histogramBin(float value) {
  if (!(value >= 0.0f)) return 0;  // negative or not a number
  if (value >= 100.0f) return 100;
  return static_cast<int>(value);
}

bool EVAL_TACFIT_CURVE(const MeshModel& mesh, int Ninst, int TACFIT_switch, TacFitSettings& set, TacFitWork& fit,
                       const FitContext& ctx, int TACFIT_ITvol, bool developer, int v, int a, int r, float* courbe) {
  set.TACFIT_ITER = TACFIT_ITvol;
  if (r < 0) {
    const uint8_t* p = &mesh.MESH_points[(static_cast<size_t>(v) * mesh.Nmeshtri + a) * 6];
    r = p[1];
    a = p[0];
  }
  float values[kMaxInstants + 1] = {};
  float Cmin = 99999.9f, Cmax = 0.0f;
  int tmax = 0;
  for (int t = 0; t < Ninst; ++t) {
    const float c = mesh.MESH_ACT[MeshModel::node(v, t, a, r)];
    values[t] = c;
    if (c < Cmin) Cmin = c;
    if (c > Cmax) Cmax = c, tmax = t;
  }
  values[Ninst] = values[0];
  if (courbe) std::copy_n(values, Ninst, courbe);
  const bool reference = TACFIT_switch == kTacFitRef;
  double tacfit_arg[kCurveInput] = {};
  for (int i = 0; i < Ninst; ++i) tacfit_arg[i] = values[reference ? (i + tmax) % Ninst : i];
  tacfit_arg[Ninst] = tacfit_arg[0];
  try {
    fitSelectedMethod(TACFIT_switch, set, fit, tacfit_arg, ctx, developer);
    if (reference) {
      // The developer's reference method leaves a model: sample it into the common record.
      referenceModelCurve(fit.voc, Cmax, tmax, Ninst, fit.out.TACFIT_curve);
      EVAL_TACPARAMS(fit.out, ctx);
    }
    return true;
  } catch (const NumericalError&) {
    const float ampl = fit.out.filling_ampl;
    fit.out = TacFitOutput{};
    fit.out.filling_ampl = ampl;
    return false;
  }
}

bool CALCUL_3D(const ModelInputs& in, int TACFIT_switch, TacFitSettings& set, TacFitWork& fit, MapRanges& ranges,
               Model3D& m, WaitWindow* wait, TraceLog* log, int threads) {
  const Study& s = in.study;
  const Options& opt = in.options;
  const MeshModel& mesh = m.mesh;
  RegionalMaps& maps = m.maps;
  ensureMaps(maps);
  const int A = mesh.mesh_samA, R = mesh.mesh_samR, rings = A - 1;
  const bool developer = log && log->enabled();
  int method = TACFIT_switch;
  if (method < kTacFitRef || method >= kTacFitMethods || (method == kTacFitRef && !developer)) method = kTacFitNew;
  set.TACFIT_ITER = opt.TACFIT_ITvol;
  const FitContext ctx = FitContext::from(opt, s.Ninst, s.CYCLE, nullptr);

  for (int v = 0; v < 2; ++v)
    for (int k = 0; k < 6; ++k) histoOf(maps, k, v)->fill(0.0f);

  // Every ring of both ventricles is one work item; each worker fits with its own state.
  std::vector<NodeFit> nodes(static_cast<size_t>(2) * rings * R);
  const int workers = workerCount(threads, 2 * rings);
  // Each worker fits with buffers and settings of its own.
  std::vector<TacFitWork> states(static_cast<size_t>(workers), fit);
  std::vector<TacFitSettings> settings(static_cast<size_t>(workers), set);
  int reported = 0;
  const bool done = parallelFor(
      2 * rings, workers,
      [&](int item, int worker) {
        const int v = item / rings, a = item % rings;
        TacFitWork& st = states[worker];
        for (int r = 0; r < R; ++r) {
          NodeFit& n = nodes[static_cast<size_t>(item) * R + r];
          n.failed = !EVAL_TACFIT_CURVE(mesh, s.Ninst, method, settings[worker], st, ctx, opt.TACFIT_ITvol, developer, v,
                                        a, r);
          const TacFitOutput& o = st.out;
          n.v[kFej] = o.TACFIT_fes;
          n.v[kTej] = wrapTime(o.TACFIT_tfs);
          n.v[kPer] = o.TACFIT_per;
          n.v[kPfr] = o.TACFIT_pfr;
          n.v[kTper] = wrapTime(o.TACFIT_tper);
          n.v[kTpfr] = wrapTime(o.TACFIT_tpfr);
        }
      },
      [&](int finished) {
        const bool go = !wait || wait->step(finished - reported);
        reported = finished;
        return go;
      });
  if (!done) return false;

  // Maps, histograms and the largest rates, in node order.
  float largestPer = 0, largestPfr = 0;
  for (int v = 0; v < 2; ++v) {
    maps.regional_empty_curves[v] = 0;
    maps.regional_failed_fits[v] = 0;
    for (int a = 0; a < rings; ++a)
      for (int r = 0; r < R; ++r) {
        const NodeFit& n = nodes[(static_cast<size_t>(v) * rings + a) * R + r];
        const size_t at = RegionalMaps::at(v, a, r);
        for (int k = 0; k < 6; ++k) (*mapOf(maps, k))[at] = n.v[k];
        const float w = mesh.MESH_pond[MeshModel::node(v, 0, a, r)];
        for (int k : {kFej, kTej, kTper, kTpfr}) (*histoOf(maps, k, v))[histogramBin(n.v[k])] += w;
        if (std::isfinite(n.v[kPer])) largestPer = std::max(largestPer, n.v[kPer]);
        if (std::isfinite(n.v[kPfr])) largestPfr = std::max(largestPfr, n.v[kPfr]);
        maps.regional_failed_fits[v] += n.failed;
        bool empty = false;
        for (int t = 0; t < s.Ninst && !empty; ++t) empty = mesh.MESH_act[MeshModel::node(v, t, a, r)] == 0.0f;
        maps.regional_empty_curves[v] += empty;
      }
  }
  maps.PER_corr = meshRateCorrection(largestPer);
  maps.PFR_corr = meshRateCorrection(largestPfr);
  for (int v = 0; v < 2; ++v)
    for (int a = 0; a < rings; ++a)
      for (int r = 0; r < R; ++r) {
        const size_t at = RegionalMaps::at(v, a, r);
        const float w = mesh.MESH_pond[MeshModel::node(v, 0, a, r)];
        float& per = maps.MESH_PER[at];
        float& pfr = maps.MESH_PFR[at];
        per = std::min(100.0f, std::fabs(per * maps.PER_corr));
        pfr = std::min(100.0f, std::fabs(pfr * maps.PFR_corr));
        maps.histo_per[v][histogramBin(per)] += w;
        maps.histo_pfr[v][histogramBin(pfr)] += w;
      }
  // The pole takes the mean of the ring before it (around the cycle for the times).
  for (int v = 0; v < 2; ++v)
    for (int k = 0; k < 6; ++k) {
      float* grid = &(*mapOf(maps, k))[RegionalMaps::at(v, 0, 0)];
      const float* before = grid + static_cast<size_t>(rings - 1) * kMeshSize;
      float mean = 0;
      if (isTimeMap(k)) {
        mean = circularMean(before, nullptr, R);
      } else {
        for (int r = 0; r < R; ++r) mean += before[r];
        mean /= static_cast<float>(R);
      }
      std::fill_n(grid + static_cast<size_t>(rings) * kMeshSize, R, mean);
    }
  for (int v = 0; v < 2; ++v)
    for (int k = 0; k < 6; ++k) {
      Histogram& h = *histoOf(maps, k, v);
      const float top = *std::max_element(h.begin(), h.end());
      if (top > 0)
        for (float& b : h) b *= kHistoTop / top;
    }
  for (auto* w : {&maps.fej_cmin, &maps.tej_cmin, &maps.per_cmin, &maps.tper_cmin, &maps.pfr_cmin, &maps.tpfr_cmin})
    w->fill(0);
  for (auto* w : {&maps.fej_cmax, &maps.tej_cmax, &maps.per_cmax, &maps.tper_cmax, &maps.pfr_cmax, &maps.tpfr_cmax})
    w->fill(100);

  m.eye.inst_depol_min = s.Ninst * 4;
  m.eye.inst_depol_max = 0;
  for (int v = 0; v < 2; ++v) {
    BULLSEYE_BUILD(mesh, maps, m.eye, v);
    DEF_SECTORS(m.eye, v, opt.SECT_25, s.Ninst);
  }
  UPDATE_MESH_MEANSTD(maps, log);
  EVAL_MESH_PALETTES(maps, s, ranges);
  return true;
}

void UPDATE_MESH_MEANSTD(RegionalMaps& maps, TraceLog* log) {
  static constexpr const char* kNames[6] = {"FES", "TFS", "DEM", "DRM", "t-DEM", "t-DRM"};
  for (int v = 0; v < 2; ++v) {
    linearStats(maps.histo_fej[v], maps.fej_cmin[v], maps.fej_cmax[v], maps.mesh_fej_mean[v], maps.mesh_fej_std[v]);
    linearStats(maps.histo_per[v], maps.per_cmin[v], maps.per_cmax[v], maps.mesh_per_mean[v], maps.mesh_per_std[v]);
    linearStats(maps.histo_pfr[v], maps.pfr_cmin[v], maps.pfr_cmax[v], maps.mesh_pfr_mean[v], maps.mesh_pfr_std[v]);
    circularStats(maps.histo_tej[v], maps.tej_cmin[v], maps.tej_cmax[v], maps.mesh_tej_mean[v], maps.mesh_tej_std[v]);
    circularStats(maps.histo_tper[v], maps.tper_cmin[v], maps.tper_cmax[v], maps.mesh_tper_mean[v],
                  maps.mesh_tper_std[v]);
    circularStats(maps.histo_tpfr[v], maps.tpfr_cmin[v], maps.tpfr_cmax[v], maps.mesh_tpfr_mean[v],
                  maps.mesh_tpfr_std[v]);
    if (!log) continue;
    const float means[6] = {maps.mesh_fej_mean[v], maps.mesh_tej_mean[v],  maps.mesh_per_mean[v],
                            maps.mesh_pfr_mean[v], maps.mesh_tper_mean[v], maps.mesh_tpfr_mean[v]};
    const float stds[6] = {maps.mesh_fej_std[v], maps.mesh_tej_std[v],  maps.mesh_per_std[v],
                           maps.mesh_pfr_std[v], maps.mesh_tper_std[v], maps.mesh_tpfr_std[v]};
    for (int k = 0; k < 6; ++k)
      log->writef("MESH - GRAPH  - %s  ::  V = %d  //  mean = %2.2f pc  //  std = %2.2f pc\n", kNames[k], v, means[k],
                  stds[k]);
  }
}

void EVAL_MESH_PALETTES(const RegionalMaps& maps, const StudyRecord& s, MapRanges& ranges) {
  auto both = [](std::array<float, 2>& a, int value) { a[0] = a[1] = static_cast<float>(std::clamp(value, 0, 100)); };
  both(ranges.fej_pmin, 40);
  both(ranges.fej_pmax, 86);
  auto spread = [&](const std::array<float, 2>& mean, const std::array<float, 2>& sd, std::array<float, 2>& pmin,
                    std::array<float, 2>& pmax) {
    both(pmin, static_cast<int>(std::min(mean[0] - 2 * sd[0], mean[1] - 2 * sd[1])));
    both(pmax, static_cast<int>(std::max(mean[0] + 2 * sd[0], mean[1] + 2 * sd[1])));
  };
  spread(maps.mesh_per_mean, maps.mesh_per_std, ranges.per_pmin, ranges.per_pmax);
  spread(maps.mesh_pfr_mean, maps.mesh_pfr_std, ranges.pfr_pmin, ranges.pfr_pmax);
  // Time maps: 45 ms either side of the ventricles' mean phase, wrapped into the cycle.
  const float w = 4500.0f / (s.CYCLE * static_cast<float>(s.Ninst));
  auto window = [&](const std::array<float, 2>& mean, std::array<float, 2>& pmin, std::array<float, 2>& pmax) {
    const float mid = (mean[0] + mean[1]) / 2.0f;
    int lo = static_cast<int>(mid - w), hi = static_cast<int>(mid + w);
    if (std::fabs(mean[0] - mean[1]) > 50.0f) lo += 50, hi += 50;
    for (int* b : {&lo, &hi}) {
      if (*b < 0) *b += 100;
      else if (*b > 100) *b -= 100;
    }
    both(pmin, lo);
    both(pmax, hi);
  };
  window(maps.mesh_tej_mean, ranges.tej_pmin, ranges.tej_pmax);
  window(maps.mesh_tper_mean, ranges.tper_pmin, ranges.tper_pmax);
  window(maps.mesh_tpfr_mean, ranges.tpfr_pmin, ranges.tpfr_pmax);
}

bool tooManyEmptyCurves(const Model3D& m, int v) {
  const int nodes = (m.mesh.mesh_samA - 1) * m.mesh.mesh_samR;
  return nodes > 0 && static_cast<float>(m.maps.regional_empty_curves[v]) > kEmptyCurveShare * static_cast<float>(nodes);
}

namespace {

// "1, 3, 4": the instants (from 1) whose entry of the row equals value.
std::string instantsWith(const std::array<int, kMaxInstants>& row, int value, int Ninst) {
  std::string instants;
  for (int t = 0; t < Ninst; ++t)
    if (row[t] == value) instants += (instants.empty() ? "" : ", ") + std::to_string(t + 1);
  return instants;
}

}  // namespace

std::string MODEL_3D_NOTES(const Model3D& m, int v, int Ninst, int LANGUE) {
  namespace T = model3d_texts;
  const auto& source = m.skel.valve_source[v + 1];
  const std::string line = instantsWith(source, kValveLine, Ninst);
  std::string out;
  if (line.empty()) {
    out = T::kValveVoxels.pick(LANGUE);
  } else if (std::count(source.begin(), source.begin() + Ninst, kValveLine) == Ninst) {
    std::string counts;  // why: the valve voxels of each instant
    for (int t = 0; t < Ninst; ++t) counts += (t ? ", " : "") + std::to_string(m.skel.valve_voxels[v + 1][t]);
    out = format(T::kValveLineCycle.pick(LANGUE), counts.c_str());
  } else {
    out = format(T::kValveLine.pick(LANGUE), line.c_str());
  }
  if (const std::string farthest = instantsWith(m.skel.apex_source[v + 1], kApexFarthest, Ninst); !farthest.empty())
    out += format(T::kApexFarthest.pick(LANGUE), farthest.c_str());
  if (const std::string kept = instantsWith(m.skel.apex_source[v + 1], kApexKept, Ninst); !kept.empty())
    out += format(T::kApexKept.pick(LANGUE), kept.c_str());
  const int nodes = (m.mesh.mesh_samA - 1) * m.mesh.mesh_samR;
  out += format(T::kEmptyCurves.pick(LANGUE), m.maps.regional_empty_curves[v], nodes);
  // Nodes whose fit the method refused are left at zero: said, as the empty curves are.
  if (m.maps.regional_failed_fits[v] > 0) out += format(T::kFailedFits.pick(LANGUE), m.maps.regional_failed_fits[v], nodes);
  if (tooManyEmptyCurves(m, v)) out += T::kEmptyWarning.pick(LANGUE);
  return out;
}

std::array<std::string, 2> AFFICHAGE_RES_MESH(const Model3D& m, int mesh_visu, const StudyRecord& s, int LANGUE) {
  namespace T = model3d_texts;
  const RegionalMaps& maps = m.maps;
  std::array<std::string, 2> out;
  for (int control = 0; control < 2; ++control) {
    const int v = control == 0 ? 1 : 0;
    std::string& text = out[control];
    switch (mesh_visu) {
      case 0:
        text = std::string(T::kFej.pick(LANGUE)) + T::kFejSuffix[control] +
               format(T::kIntValues, static_cast<int>(maps.mesh_fej_mean[v] + 0.5f),
                      static_cast<int>(maps.mesh_fej_std[v] + 0.5f));
        break;
      case 1: text = format(T::kTej[control].pick(LANGUE), toMs(s, maps.mesh_tej_mean[v]), toMs(s, maps.mesh_tej_std[v])); break;
      case 2:
        text = format(T::kPer.pick(LANGUE), -maps.mesh_per_mean[v] / maps.PER_corr, maps.mesh_per_std[v] / maps.PER_corr);
        break;
      case 3: text = format(T::kTper.pick(LANGUE), toMs(s, maps.mesh_tper_mean[v]), toMs(s, maps.mesh_tper_std[v])); break;
      case 4:
        text = format(T::kPfr.pick(LANGUE), maps.mesh_pfr_mean[v] / maps.PFR_corr, maps.mesh_pfr_std[v] / maps.PFR_corr);
        break;
      case 5: text = format(T::kTpfr.pick(LANGUE), toMs(s, maps.mesh_tpfr_mean[v]), toMs(s, maps.mesh_tpfr_std[v])); break;
      default: break;
    }
    text += MODEL_3D_NOTES(m, v, s.Ninst, LANGUE);
  }
  return out;
}

MeshCurve EVAL_MESH_CURVE(const Model3D& m, int k, int mesh_visu, const ModelInputs& in, int TACFIT_switch,
                          TacFitSettings& set, TacFitWork& fit, bool developer) {
  namespace T = model3d_texts;
  MeshCurve c;
  const MeshModel& mesh = m.mesh;
  if (k < 0 || k > 1) return c;
  const int V = m.maps.MC_v[k], tri = m.maps.MC_ar[k];
  if ((V != 1 && V != 2) || tri < 0 || tri >= mesh.Nmeshtri || mesh.MESH_points.empty()) return c;
  const Study& s = in.study;
  const FitContext ctx = FitContext::from(in.options, s.Ninst, s.CYCLE, nullptr);
  float courbe[kMaxInstants] = {};
  EVAL_TACFIT_CURVE(mesh, s.Ninst, TACFIT_switch, set, fit, ctx, in.options.TACFIT_ITvol, developer, V - 1, tri, -1,
                    courbe);
  const TacFitOutput& o = fit.out;
  c.valid = true;
  c.scale = std::max(1, static_cast<int>((o.TACFIT_vmax + 1.0f) * 1.25f));
  const float s80 = static_cast<float>(kCurvePictureHeight) / static_cast<float>(c.scale);
  for (int x = 0; x < kCurvePictureWidth; ++x) c.y[x] = o.TACFIT_curve[x * kCurveSamples / kCurvePictureWidth] * s80;
  for (int i = 0; i < s.Ninst; ++i)
    c.dots.push_back({static_cast<float>(i * 295 / s.Ninst), courbe[i] * s80});
  const float cycleMs = s.CYCLE * static_cast<float>(s.Ninst);
  auto ms = [&](float phase) { return static_cast<int>(phase * cycleMs / 100.0f); };
  const int L = in.options.LANGUE;
  float time = 0;
  if (mesh_visu <= 1) {
    time = o.TACFIT_tfs;
    c.caption = format(T::kCurveFej.pick(L), static_cast<int>(o.TACFIT_fes + 0.5f)) + "%" +
                format(T::kCurveTej.pick(L), ms(o.TACFIT_tfs));
  } else if (mesh_visu <= 3) {
    time = o.TACFIT_tper;
    c.caption = format(T::kCurvePer.pick(L), -o.TACFIT_per) + format(T::kCurveTper.pick(L), ms(o.TACFIT_tper));
  } else {
    time = o.TACFIT_tpfr;
    c.caption = format(T::kCurvePfr.pick(L), o.TACFIT_pfr) + format(T::kCurveTpfr.pick(L), ms(o.TACFIT_tpfr));
  }
  c.marker = static_cast<int>(3.0f * time + 0.5f);
  return c;
}

}  // namespace quorvel
