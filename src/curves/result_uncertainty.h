#pragma once
// The uncertainty of the global results of both ventricles, as the tables and reports show it.
#include <array>

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

}  // namespace quorvel
