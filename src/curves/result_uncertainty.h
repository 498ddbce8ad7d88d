#pragma once
// The uncertainty of the global results of both ventricles, as the tables and reports show it.
#include <array>
#include <string>

namespace quorvel {

// The results given an uncertainty, in this order, left ventricle then right.
enum UncertainResult : int { kEf, kEdv, kEsv, kEndSystole, kPeakEmptying, kPeakFilling, kResultsPerVentricle };
inline constexpr int kUncertainResults = 2 * kResultsPerVentricle;
// JSON names, as the results' own keys.
inline constexpr std::array<const char*, kUncertainResults> kUncertainResultKeys{
    "G_FES", "G_volmax", "G_volmin", "G_TFS", "G_PER", "G_PFR",
    "D_FES", "D_volmax", "D_volmin", "D_TFS", "D_PER", "D_PFR"};

inline constexpr double kCoverage95 = 1.959964;  // two-sided 95 % of a normal distribution

struct ResultUncertainty {
  double value = 0;
  double counting = 0, placement = 0, standard = 0;  // standard uncertainties
  double low95 = 0, high95 = 0;
};
using ResultUncertainties = std::array<ResultUncertainty, kUncertainResults>;

// The left ejection fraction against the patient's previous exam, as a report states it.
struct SerialSummary {
  std::string previousDate;  // YYYYMMDD, or empty
  double previousEf = 0, change = 0, mdc = 0;  // per cent, points, points
  bool flagged = false;                        // the fall meets the criterion
  std::string criterion;                       // the criterion's short label (fall / below)
};

}  // namespace quorvel
