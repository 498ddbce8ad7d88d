#include "curves/volume_results.h"

#include "base/language.h"

namespace quorvel {

namespace {

constexpr Text kLeftTitle{"Ventricule Gauche", "Left Ventricle"};
constexpr Text kRightTitle{"Ventricule Droit", "Right Ventricle"};
constexpr Text kVolumes{
    "Volume télédiastolique = %2.0f cc\nVolume télésystolique = %2.0f cc\nVolume d'éjection = %2.0f cc   -   Débit = "
    "%2.1f L / min\n\nFraction d'éjection = %2.0f ",
    "Telediastolic volume = %2.0f cc\nTelesystolic volume = %2.0f cc\nEjection volume = %2.0f cc   -   Flow = %2.1f "
    "L / min\n\nEjection fraction = %2.0f "};
constexpr Text kEndSystole{"Temps de fin de systole : %d ms\n\n", "Time of end systole : %d ms\n\n"};
constexpr Text kPeakEjection{"Débit eject. max. = %d cc/s  (%2.2f)   -   t-DEM = %d ms\n",
                             "Peak eject. rate = %d cc/s  (%2.2f)   -   t-PER = %d ms\n"};
constexpr Text kPeakFilling{"Débit remp. max. = %d cc/s  (%2.2f)   -   t-DRM = %d ms\n",
                            "Peak fill. rate = %d cc/s  (%2.2f)   -   t-PFR = %d ms\n"};

constexpr float kVolumeAxisStep = 20.0f;
constexpr float kRateAxisStep = 2.0f;

}  // namespace

const char* ventriclePanelTitle(int ventricle, int LANGUE) {
  return (ventricle == 1 ? kLeftTitle : kRightTitle).pick(LANGUE);
}

std::string ventricleResultsText(const VentricleResults& r, int LANGUE, const std::string& efNote) {
  std::string text = format(kVolumes.pick(LANGUE), r.volmax, r.volmin, r.VES, r.debit, r.FES);
  text += "%" + efNote + "\n";
  text += format(kEndSystole.pick(LANGUE), r.TFS);
  // The ejection rate is shown as a negative number; the stored one is positive.
  text += format(kPeakEjection.pick(LANGUE), static_cast<int>(-(r.volmax * r.PER)), -r.PER, static_cast<int>(r.TPER));
  text += format(kPeakFilling.pick(LANGUE), static_cast<int>(r.volmax * r.PFR), r.PFR, static_cast<int>(r.TPFR));
  return text;
}

float volumeAxisBound(float largestVolume) {
  const float bound = (static_cast<int>(largestVolume / kVolumeAxisStep + 0.5f) + 1) * kVolumeAxisStep;
  return bound < kVolumeAxisStep ? kVolumeAxisStep : bound;
}

float rateAxisBound(float largestRate) {
  return (static_cast<int>(largestRate / kRateAxisStep) + 1) * kRateAxisStep;
}

}  // namespace quorvel
