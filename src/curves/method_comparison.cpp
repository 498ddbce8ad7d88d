#include "curves/method_comparison.h"

#include <cmath>
#include <cstdio>

#include "base/byte_reader.h"
#include "base/language.h"
#include "curves/ventricle_fit.h"

namespace quorvel {

namespace {

constexpr float kComparisonCycle = 125.0f;  // ms per instant of the synthetic curves
constexpr int kNoiseStep = 10;

struct SyntheticCase {
  int T, F;
  std::array<float, kComparisonInstants> curve;
  float PER, PFR, TPER, TPFR;
};

// Normalised synthetic curves and the values a perfect fit would give.
constexpr SyntheticCase kCases[] = {
    {200, 20, {1.0000f, 0.8266f, 0.8088f, 0.8643f, 0.9157f, 0.9389f, 0.9561f, 0.9838f}, 1.9f, 0.49f, 12, 357},
    {200, 65, {1.0000f, 0.4365f, 0.3785f, 0.5590f, 0.7261f, 0.8016f, 0.8573f, 0.9474f}, 6.16f, 1.6f, 12, 357},
    {400, 20, {1.0000f, 0.9531f, 0.8618f, 0.8020f, 0.8261f, 0.8936f, 0.9364f, 0.9645f}, 0.75f, 0.56f, 197, 578},
    {400, 65, {1.0000f, 0.8477f, 0.5509f, 0.3565f, 0.4348f, 0.6540f, 0.7931f, 0.8848f}, 2.45f, 1.83f, 197, 578},
    {600, 20, {1.0000f, 0.9982f, 0.9777f, 0.9191f, 0.8365f, 0.8031f, 0.8776f, 0.9425f}, 0.69f, 0.795f, 445, 746},
    {600, 65, {1.0000f, 0.9940f, 0.9277f, 0.7372f, 0.4685f, 0.3599f, 0.6020f, 0.8132f}, 2.23f, 2.58f, 445, 746},
};
constexpr int kNoiseLevels[] = {0, 1, 2};
constexpr int kErrorKinds = 6;  // FES, TFS, PER, TPER, PFR, TPFR

const SyntheticCase* findCase(int T, int F) {
  for (const SyntheticCase& c : kCases)
    if (c.T == T && c.F == F) return &c;
  return nullptr;
}

void logRule(TraceLog& log) { log.WRITE_LOGFILE(std::string(60, '=') + "\n"); }

}  // namespace

std::vector<float> loadGaussHist(const std::filesystem::path& appFolder) {
  const auto bytes = readWholeFile(appFolder / "TACs" / "GAUSS_HIST");
  if (bytes && bytes->size() >= kGaussHistSize * sizeof(float)) {
    std::vector<float> table(kGaussHistSize);
    const ByteReader in(*bytes);
    for (size_t i = 0; i < kGaussHistSize; ++i) table[i] = *in.f32le(i * sizeof(float));
    return table;
  }
  return seededGaussHist();
}

std::vector<float> seededGaussHist() {
  std::vector<float> table(kGaussHistSize);
  std::mt19937 engine(kComparisonSeed);
  std::normal_distribution<float> normal(0.0f, 1.0f);
  for (float& g : table) g = normal(engine);
  return table;
}

void regenerateTacfitNoise(VolumeCurves& vc, MethodComparison& mc) {
  std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
  for (auto& row : vc.TACFIT_noise)
    for (float& n : row) n = uniform(mc.rng) * mc.TACFIT_noiselevel;
}

bool changeNoiseLevel(VolumeCurves& vc, MethodComparison& mc, int delta) {
  if (delta < 0 && mc.TACFIT_noiselevel <= 0) return false;
  mc.TACFIT_noiselevel = std::max(0.0f, mc.TACFIT_noiselevel + static_cast<float>(delta > 0 ? kNoiseStep : -kNoiseStep));
  regenerateTacfitNoise(vc, mc);
  return true;
}

std::string noiseLevelText(const MethodComparison& mc) {
  return format("Noise : %d", static_cast<int>(mc.TACFIT_noiselevel));
}

bool changeNoise(VolumeCurves& vc, MethodComparison& mc, int delta) {
  if (delta == 0) {
    regenerateTacfitNoise(vc, mc);
    return true;
  }
  return changeNoiseLevel(vc, mc, delta);
}

void INIT_EVALTACS_ARG(MethodComparison& mc, int T, int F, int L) {
  const SyntheticCase* c = findCase(T, F);
  if (!c) return;
  if (mc.gauss_hist.empty()) mc.gauss_hist = seededGaussHist();
  std::uniform_int_distribution<size_t> pick(0, mc.gauss_hist.size() - 1);
  std::uniform_real_distribution<float> coin(0.0f, 1.0f);
  for (int i = 0; i < kComparisonInstants; ++i) {
    float v = c->curve[i] * 100.0f;
    float g = mc.gauss_hist[pick(mc.rng)];
    if (coin(mc.rng) < 0.5f) g = -g;
    v += g * std::sqrt(v) * (L * F / 100.0f * 0.5f);
    mc.TacP[i] = std::max(v, 0.0f);
  }
}

std::string DO_EVAL_TACS(const TacFitSettings& set, TacFitWork& fit, MethodComparison& mc, const FitContext& base, TraceLog& log, int runs,
                         const std::function<bool(double)>& progress) {
  log.WRITE_LOGFILE("EVAL TACS  ::  IN\n");
  logRule(log);
  mc.TAC_EVAL_ON = 1;
  FitContext ctx = base;
  ctx.Ninst = kComparisonInstants;
  ctx.CYCLE = kComparisonCycle;
  std::string report;
  const int totalCases = 6 * 3;
  int done = 0;
  for (int T : {200, 400, 600})
    for (int F : {20, 65})
      for (int L : kNoiseLevels) {
        const SyntheticCase& expected = *findCase(T, F);
        const int R = L == 0 ? 1 : runs;
        log.writef("EVAL TACS  ::  %d  -  %d  -  %d\n", T, F, L);
        logRule(log);
        double sum[kTacFitMethods][kErrorKinds] = {}, sum2[kTacFitMethods][kErrorKinds] = {};
        for (int run = 0; run < R; ++run) {
          INIT_EVALTACS_ARG(mc, T, F, L);
          InstantCurve vol{};
          float Cmax = 0;
          int tmax = 0;
          for (int i = 0; i < kComparisonInstants; ++i) {
            vol[i] = mc.TacP[i];
            if (vol[i] > Cmax) Cmax = vol[i], tmax = i;
          }
          vol[kComparisonInstants] = vol[0];
          for (int m = kTacFitNew; m <= kTacFitSplines; ++m) {
            VolumeCurves scratch;
            VentricleResults r;
            fitVentricleCurve(m, set, fit, ctx, false, vol, Cmax, tmax, 0.0f,
                                {scratch.vidange_D, scratch.filling_D, r}, scratch);
            const double e[kErrorKinds] = {r.FES - F,          static_cast<double>(r.TFS - T),
                                           r.PER - expected.PER, r.TPER - expected.TPER,
                                           r.PFR - expected.PFR, r.TPFR - expected.TPFR};
            for (int k = 0; k < kErrorKinds; ++k) sum[m][k] += e[k], sum2[m][k] += e[k] * e[k];
          }
        }
        if (T == 400 && F == 20 && L == 0) log.WRITE_LOGFILE("EVAL TACS  ::  MID\n");
        report += format("\nTFS = %d ms  -  FES = %d %%  -  Bruit %d \n--------------------------\n\n", T, F, L);
        for (int m : {kTacFitNew, kMultiHarmonique, kTacFitAffine, kTacFitSplines}) {
          if (m == kTacFitNew) report += format("Méthode  :  courbe de référence ( %d it. )\n", set.TACFIT_ITER);
          if (m == kMultiHarmonique) report += format("Méthode  :  fit harmonique ( %d harm. )\n", set.CMH_DEG);
          if (m == kTacFitAffine) report += "Méthode  :  fit affine\n";
          if (m == kTacFitSplines) report += "Méthode  :  fit par splines\n";
          static constexpr const char* kLines[kErrorKinds] = {
              "FES  :   %2.2f  +/-  %2.2f\n", "TFS  :   %2.2f  +/-  %2.2f\n", "PER  :   %2.2f  +/-  %2.2f\n",
              "TPER  :  %2.2f  +/-  %2.2f\n", "PFR  :   %2.2f  +/-  %2.2f\n", "TPFR  :  %2.2f  +/-  %2.2f\n\n"};
          for (int k = 0; k < kErrorKinds; ++k) {
            const double mean = sum[m][k] / R;
            const double spread = std::sqrt(std::max(0.0, sum2[m][k] / R - mean * mean));
            report += format(kLines[k], mean, spread);
          }
        }
        ++done;
        if (progress && !progress(static_cast<double>(done) / totalCases)) {
          mc.TAC_EVAL_ON = 0;
          return {};
        }
      }
  log.WRITE_LOGFILE("EVAL TACS  ::  OUT\n");
  mc.TAC_EVAL_ON = 0;
  return report;
}

}  // namespace quorvel
