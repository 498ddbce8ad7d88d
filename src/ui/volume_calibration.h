#pragma once
// A site's calibration of the measured volumes: the true volume per measured millilitre of each
// ventricle, fitted through the origin on studies of known volumes (scans of a physical phantom, or
// simulated camera studies of one acquisition and reconstruction protocol). Ejection fractions do not
// change under it; the specified volumes stay the results, the calibrated ones are shown beside them.
#include <nlohmann/json.hpp>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "curves/volume_results.h"

namespace quorvel {

struct VolumeCalibration {
  double factor[2] = {1.0, 1.0};  // left, right ventricle
  int pairs[2] = {0, 0};          // volumes each factor was fitted on
  std::string source;             // what it was fitted on, for the reader of a result
};

struct KnownVolume {
  int ventricle = 0;  // 0 left, 1 right
  double measured = 0, truth = 0;
};

// Least squares through the origin per ventricle: sum(measured x true) / sum(measured^2); a ventricle
// without pairs keeps the factor 1.
VolumeCalibration fitVolumeCalibration(const std::vector<KnownVolume>& known, const std::string& source);

nlohmann::json calibrationJson(const VolumeCalibration& c);
// nullopt, with the reason, when j is not a calibration (missing keys, factors outside 0.2 to 5).
std::optional<VolumeCalibration> calibrationFromJson(const nlohmann::json& j, std::string& why);

// The calibration the application folder holds (its file name below), read when a session starts;
// nullopt when there is none or it is not a calibration.
inline constexpr const char* kCalibrationFileName = "calibration.json";
std::optional<VolumeCalibration> readCalibrationFile(const std::filesystem::path& file, std::string& why);

// The calibrated end-diastolic, end-systolic and stroke volumes and output of both ventricles
// (keys G_volmax ... D_debit), with the factors and the source.
nlohmann::json calibratedVolumesJson(const VolumeCurves& vc, const VolumeCalibration& c);
// The same as text lines under the results, in the language LANGUE: "calibrated" beside every volume.
std::string calibratedVolumesText(const VolumeCurves& vc, const VolumeCalibration& c, int LANGUE);
// One line for a ventricle's results panel (v 1 left, 2 right).
std::string calibratedPanelLine(const VolumeCurves& vc, const VolumeCalibration& c, int v, int LANGUE);

}  // namespace quorvel
