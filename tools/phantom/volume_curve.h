#pragma once
// Analytic ventricular volume curve over one cardiac cycle and the functional parameters it
// implies. Phase runs from 0 (end-diastole) to 1 (next end-diastole).
#include <string>
#include <vector>

namespace quorvel::phantom {

// Shape of one ventricle's volume curve. Fractions of the stroke volume; phases in % of the cycle.
struct VolumeCurveParams {
  double edv_ml = 120.0;
  double ef_percent = 60.0;
  double es_phase_pct = 35.0;         // end of ejection
  double rapid_fraction = 0.70;       // share of the stroke volume refilled by rapid filling
  double rapid_duration_pct = 20.0;   // duration of rapid filling, starting at end-systole
  double atrial_fraction = 0.20;      // share refilled by the atrial kick (diastasis gets the rest)
  double atrial_start_pct = 82.0;     // start of the atrial kick; it ends at the next end-diastole
};

// Checks the parameters; returns an empty string when they are consistent, else the reason.
std::string validate(const VolumeCurveParams& p);

// Every segment is a raised-cosine ramp, so the curve and its derivative are continuous.
class VolumeCurve {
 public:
  explicit VolumeCurve(const VolumeCurveParams& p);  // p must pass validate()

  double volume(double phase) const;      // ml; phase taken modulo 1
  double derivative(double phase) const;  // ml per unit phase
  double edv() const { return p_.edv_ml; }
  double esv() const;
  double strokeVolume() const { return p_.edv_ml * p_.ef_percent / 100.0; }
  const VolumeCurveParams& params() const { return p_; }

 private:
  VolumeCurveParams p_;
};

// The parameters the system reports for a volume curve, from the analytic curve.
// Rates in end-diastolic volumes per second (ejection as a positive magnitude), times both in
// milliseconds from end-diastole and in % of the cycle.
struct CurveTruth {
  double edv_ml, esv_ml, sv_ml, ef_percent;
  double t_es_ms, t_es_pct;
  double per_edv_per_s, t_per_ms, t_per_pct;
  double pfr_edv_per_s, t_pfr_ms, t_pfr_pct;
  double cardiac_output_l_min;
};

CurveTruth curveTruth(const VolumeCurve& c, double heartRateBpm);

}  // namespace quorvel::phantom
