#include "phantom/volume_curve.h"

#include <cmath>
#include <numbers>

namespace quorvel::phantom {

namespace {

constexpr double kPi = std::numbers::pi;
// Dense sampling used to locate the peak rates of the analytic curve.
constexpr int kPeakSearchSamples = 200000;

// Raised-cosine ramp from 0 to 1 over x in [0,1], and its slope.
double ramp(double x) { return x <= 0 ? 0.0 : x >= 1 ? 1.0 : 0.5 * (1.0 - std::cos(kPi * x)); }
double rampSlope(double x) { return (x <= 0 || x >= 1) ? 0.0 : 0.5 * kPi * std::sin(kPi * x); }

double wrap(double phase) {
  double f = phase - std::floor(phase);
  return f >= 1.0 ? 0.0 : f;
}

}  // namespace

std::string validate(const VolumeCurveParams& p) {
  if (!(p.edv_ml > 0)) return "end-diastolic volume must be positive";
  if (!(p.ef_percent > 0 && p.ef_percent < 100)) return "ejection fraction must lie strictly between 0 and 100 %";
  if (!(p.es_phase_pct > 0 && p.es_phase_pct < 100)) return "end-systole must lie strictly inside the cycle";
  if (!(p.rapid_fraction >= 0 && p.atrial_fraction >= 0 && p.rapid_fraction + p.atrial_fraction <= 1))
    return "rapid and atrial filling fractions must be >= 0 and sum to at most 1";
  if (!(p.rapid_duration_pct > 0)) return "rapid filling duration must be positive";
  if (!(p.es_phase_pct + p.rapid_duration_pct <= p.atrial_start_pct && p.atrial_start_pct < 100))
    return "need end-systole + rapid filling <= atrial start < 100 %";
  return {};
}

VolumeCurve::VolumeCurve(const VolumeCurveParams& p) : p_(p) {}

double VolumeCurve::esv() const { return p_.edv_ml - strokeVolume(); }

double VolumeCurve::volume(double phase) const {
  const double f = wrap(phase) * 100.0;
  const double sv = strokeVolume();
  const double tes = p_.es_phase_pct, rd = p_.rapid_duration_pct, ta = p_.atrial_start_pct;
  if (f <= tes) return p_.edv_ml - sv * ramp(f / tes);
  const double diastasis = 1.0 - p_.rapid_fraction - p_.atrial_fraction;
  double filled = p_.rapid_fraction * ramp((f - tes) / rd);
  filled += diastasis * ramp((f - tes - rd) / (ta - tes - rd));
  filled += p_.atrial_fraction * ramp((f - ta) / (100.0 - ta));
  return esv() + sv * filled;
}

double VolumeCurve::derivative(double phase) const {
  const double f = wrap(phase) * 100.0;
  const double sv = strokeVolume();
  const double tes = p_.es_phase_pct, rd = p_.rapid_duration_pct, ta = p_.atrial_start_pct;
  // d/dphase = 100 * d/df
  if (f <= tes) return -sv * rampSlope(f / tes) * 100.0 / tes;
  const double diastasis = 1.0 - p_.rapid_fraction - p_.atrial_fraction;
  double d = p_.rapid_fraction * rampSlope((f - tes) / rd) / rd;
  if (ta - tes - rd > 0) d += diastasis * rampSlope((f - tes - rd) / (ta - tes - rd)) / (ta - tes - rd);
  d += p_.atrial_fraction * rampSlope((f - ta) / (100.0 - ta)) / (100.0 - ta);
  return sv * d * 100.0;
}

CurveTruth curveTruth(const VolumeCurve& c, double heartRateBpm) {
  const double cycleS = 60.0 / heartRateBpm;
  CurveTruth t{};
  t.edv_ml = c.edv();
  t.esv_ml = c.esv();
  t.sv_ml = c.strokeVolume();
  t.ef_percent = t.sv_ml * 100.0 / t.edv_ml;
  t.t_es_pct = c.params().es_phase_pct;
  // Ejection is searched between end-diastole and end-systole, filling after end-systole.
  double per = 0, pfr = 0, perPhase = 0, pfrPhase = 0;
  for (int k = 1; k < kPeakSearchSamples; ++k) {
    const double ph = static_cast<double>(k) / kPeakSearchSamples;
    const double d = c.derivative(ph);
    if (ph * 100.0 < t.t_es_pct) {
      if (-d > per) per = -d, perPhase = ph;
    } else if (ph * 100.0 > t.t_es_pct && d > pfr) {
      pfr = d, pfrPhase = ph;
    }
  }
  t.per_edv_per_s = per / cycleS / t.edv_ml;
  t.pfr_edv_per_s = pfr / cycleS / t.edv_ml;
  t.t_per_pct = perPhase * 100.0;
  t.t_pfr_pct = pfrPhase * 100.0;
  t.t_es_ms = t.t_es_pct * cycleS * 10.0;
  t.t_per_ms = t.t_per_pct * cycleS * 10.0;
  t.t_pfr_ms = t.t_pfr_pct * cycleS * 10.0;
  t.cardiac_output_l_min = t.sv_ml * heartRateBpm / 1000.0;
  return t;
}

}  // namespace quorvel::phantom
