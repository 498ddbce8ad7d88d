#pragma once
// The validation suite: hearts of the phantom family acquired and reconstructed with varied camera
// settings, and the agreement of the analysis with the truth (bias, limits of agreement, by factor),
// with Bland-Altman pictures.
#include <string>
#include <utility>
#include <vector>

#include "base/bitmap.h"
#include "camera/acquisition.h"
#include "camera/reconstruction.h"
#include "phantom/phantom.h"
#include "ui/volume_calibration.h"

namespace quorvel::camera {

enum class Suite { Quick, Full };

struct SuiteCase {
  std::string name;
  std::string protocol;  // the acquisition and reconstruction settings, e.g. "ac-bw0.4-25s"
  int heart = 0;
  phantom::PhantomParams params;
  AcquisitionParams acquisition;
  ReconParams recon;
  std::vector<std::pair<std::string, std::string>> factors;  // factor and this case's level
};

// The quick suite: 6 hearts, attenuation correction off and on. The full one: 24 hearts, with
// attenuation correction, two post-filters and two acquisition times, and the first 4 hearts also on
// a 128 matrix. Hearts come from the family's tuning split on a 64 matrix (or 128) with a field of
// view of at least 410 mm; `seed` moves every noise draw;
// hearts > 0 takes that many hearts instead.
std::vector<SuiteCase> suiteCases(Suite suite, uint64_t seed, int hearts = 0);

// The results compared, as the analysis's JSON names them and the truth's.
struct Measure {
  const char* key;    // "lvef", ...
  const char* label;  // "LVEF (%)", ...
  bool volume;        // biases also in per cent of the truth
};
const std::vector<Measure>& measures();

struct CaseOutcome {
  std::string name, status;  // status: "ok", "warned" or why there are no numbers
  std::string protocol;
  int heart = 0;
  std::vector<std::pair<std::string, std::string>> factors;
  std::vector<double> truth, measured;  // per measure; measured empty when the analysis gave none
};

struct Agreement {
  int n = 0;
  double bias = 0, sd = 0, lower = 0, upper = 0;  // limits of agreement: bias -/+ 1.96 SD
  double biasPercent = 0;                         // mean of the differences in per cent of the truth
};
// Agreement of measure m over the outcomes that have numbers.
Agreement agreementOf(const std::vector<CaseOutcome>& outcomes, size_t m);

// Calibrated volumes judged on studies the calibration did not see: per protocol, a calibration
// fitted on the end-diastolic volumes of the even hearts' studies without warnings is applied to
// the odd hearts' (and the other way round), so that every study is judged by a calibration fitted
// without it. Returns the outcomes with the measured volumes calibrated (studies with warnings left
// out).
std::vector<CaseOutcome> heldOutCalibrated(const std::vector<CaseOutcome>& outcomes);
// Per protocol, the calibration fitted on all its studies without warnings.
std::vector<std::pair<std::string, VolumeCalibration>> protocolCalibrations(const std::vector<CaseOutcome>& outcomes);

// The report: overall table, the same by factor level, and the cases without numbers (Markdown).
std::string validationReport(const std::vector<CaseOutcome>& outcomes, const std::string& title);
// One row per case: name, status, factors, truth and measured values.
std::string validationCsv(const std::vector<CaseOutcome>& outcomes);

// Bland-Altman picture of measure m: differences against means, with the bias and limits drawn.
inline constexpr int kAgreementWidth = 640, kAgreementHeight = 420;
Bitmap24 blandAltmanPicture(const std::vector<CaseOutcome>& outcomes, size_t m);

}  // namespace quorvel::camera
