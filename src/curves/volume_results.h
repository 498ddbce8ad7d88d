#pragma once
// The measured and fitted volume curves of both ventricles and the global results shown in the
// results stage, with their French and English texts.
#include <array>
#include <string>

#include "base/capacities.h"
#include "curves/tacfit_record.h"

namespace quorvel {

// One ventricle's results: G_ for the left, D_ for the right.
struct VentricleResults {
  float volmax = 0, volmin = 0;  // end-diastolic and end-systolic volume, ml
  float VES = 0;                 // stroke volume, ml
  float debit = 0;               // cardiac output, l/min
  float FES = 0;                 // ejection fraction, %
  int TFS = 0;                   // end of systole, ms
  float PER = 0, TPER = 0;       // peak emptying rate (positive, EDV/s) and its time (ms)
  float PFR = 0, TPFR = 0;       // peak filling rate (EDV/s) and its time (ms)
};

using InstantCurve = std::array<float, kCurveInput>;  // Ninst values, then the first again
using CycleCurve = std::array<float, kCurveSamples>;

struct VolumeCurves {
  int volume_voxels = 0;  // 0 adapted estimate, 1 plain voxel count
  // Developer-mode noise added to each measured volume: [0] right, [1] left ventricle.
  std::array<std::array<float, kMaxInstants>, 2> TACFIT_noise{};

  InstantCurve volG{}, volD{};
  float Cmax = 0;
  int tmax = 0;
  CycleCurve vidange_G{}, vidange_D{};
  CycleCurve filling_G{}, filling_D{};
  VentricleResults G, D;
  float maxvol = 0;
  float filling_ampl = 0;
};

// Panel titles and the results block of one ventricle, as the results stage shows them.
const char* ventriclePanelTitle(int ventricle, int LANGUE);  // 1 left, 2 right
// efNote: written after the ejection fraction, on its line.
std::string ventricleResultsText(const VentricleResults& r, int LANGUE, const std::string& efNote = {});

// Plot bounds: volumes rounded up to the next 20 ml above (at least 20), rates to the next 2.
float volumeAxisBound(float largestVolume);
float rateAxisBound(float largestRate);

}  // namespace quorvel
