#include "ui/volume_calibration.h"

#include <cmath>
#include <fstream>

#include "base/language.h"

namespace quorvel {

namespace {

constexpr double kMinFactor = 0.2, kMaxFactor = 5.0;  // beyond, the calibration is not of a camera
constexpr const char* kSide[2] = {"G_", "D_"};
constexpr Text kHeading{"Volumes étalonnés (%s)\n", "Calibrated volumes (%s)\n"};
constexpr Text kVentricle[2] = {{"Ventricule gauche", "Left ventricle"}, {"Ventricule droit", "Right ventricle"}};
constexpr Text kPanelLine{"Étalonnés : VTD %.0f ml, VTS %.0f ml (x %.3f)", "Calibrated: EDV %.0f ml, ESV %.0f ml (x %.3f)"};
constexpr Text kLine{
    "%s : télédiastolique %.0f ml, télésystolique %.0f ml, éjection %.0f ml, débit %.1f L/min "
    "(étalonnés, x %.3f)\n",
    "%s: end-diastolic %.0f ml, end-systolic %.0f ml, stroke %.0f ml, output %.1f L/min "
    "(calibrated, x %.3f)\n"};

}  // namespace

VolumeCalibration fitVolumeCalibration(const std::vector<KnownVolume>& known, const std::string& source) {
  VolumeCalibration c;
  c.source = source;
  double mt[2] = {0, 0}, mm[2] = {0, 0};
  for (const KnownVolume& k : known) {
    if (k.ventricle < 0 || k.ventricle > 1 || !(k.measured > 0) || !(k.truth > 0)) continue;
    mt[k.ventricle] += k.measured * k.truth, mm[k.ventricle] += k.measured * k.measured, ++c.pairs[k.ventricle];
  }
  for (int v = 0; v < 2; ++v)
    if (mm[v] > 0) c.factor[v] = mt[v] / mm[v];
  return c;
}

nlohmann::json calibrationJson(const VolumeCalibration& c) {
  return {{"kind", "volume calibration"},
          {"factor", {c.factor[0], c.factor[1]}},
          {"pairs", {c.pairs[0], c.pairs[1]}},
          {"source", c.source},
          {"meaning", "true volume per measured ml, [left, right]; fitted through the origin"}};
}

std::optional<VolumeCalibration> calibrationFromJson(const nlohmann::json& j, std::string& why) {
  if (!j.is_object() || !j.contains("kind") || j["kind"] != "volume calibration" || !j.contains("factor") ||
      !j["factor"].is_array() || j["factor"].size() != 2) {
    why = "not a volume calibration (kind, factor [left, right])";
    return std::nullopt;
  }
  VolumeCalibration c;
  for (int v = 0; v < 2; ++v) {
    if (!j["factor"][v].is_number() || !(j["factor"][v].get<double>() >= kMinFactor) ||
        !(j["factor"][v].get<double>() <= kMaxFactor)) {
      why = "a calibration factor is not a number from 0.2 to 5";
      return std::nullopt;
    }
    c.factor[v] = j["factor"][v].get<double>();
    if (j.contains("pairs") && j["pairs"].is_array() && j["pairs"].size() == 2 && j["pairs"][v].is_number_integer())
      c.pairs[v] = j["pairs"][v].get<int>();
  }
  if (j.contains("source") && j["source"].is_string()) c.source = j["source"].get<std::string>();
  return c;
}

std::optional<VolumeCalibration> readCalibrationFile(const std::filesystem::path& file, std::string& why) {
  std::ifstream in(file);
  if (!in) {
    why = "cannot be read";
    return std::nullopt;
  }
  const nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
  if (j.is_discarded()) {
    why = "not JSON";
    return std::nullopt;
  }
  return calibrationFromJson(j, why);
}

nlohmann::json calibratedVolumesJson(const VolumeCurves& vc, const VolumeCalibration& c) {
  const VentricleResults* r[2] = {&vc.G, &vc.D};
  nlohmann::json j{{"factor", {c.factor[0], c.factor[1]}}, {"source", c.source}};
  for (int v = 0; v < 2; ++v) {
    const std::string p = kSide[v];
    j[p + "volmax"] = c.factor[v] * r[v]->volmax;
    j[p + "volmin"] = c.factor[v] * r[v]->volmin;
    j[p + "VES"] = c.factor[v] * r[v]->VES;
    j[p + "debit"] = c.factor[v] * r[v]->debit;
  }
  return j;
}

std::string calibratedVolumesText(const VolumeCurves& vc, const VolumeCalibration& c, int LANGUE) {
  const VentricleResults* r[2] = {&vc.G, &vc.D};
  std::string out = format(kHeading.pick(LANGUE), c.source.c_str());
  for (int v = 0; v < 2; ++v)
    out += format(kLine.pick(LANGUE), kVentricle[v].pick(LANGUE), c.factor[v] * r[v]->volmax,
                  c.factor[v] * r[v]->volmin, c.factor[v] * r[v]->VES, c.factor[v] * r[v]->debit, c.factor[v]);
  return out;
}

std::string calibratedPanelLine(const VolumeCurves& vc, const VolumeCalibration& c, int v, int LANGUE) {
  const VentricleResults& r = v == 1 ? vc.G : vc.D;
  const double f = c.factor[v == 1 ? 0 : 1];
  return format(kPanelLine.pick(LANGUE), f * r.volmax, f * r.volmin, f);
}

}  // namespace quorvel
