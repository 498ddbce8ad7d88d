#pragma once
// Shared helpers of the curve tests: a scratch folder and an 8-instant context.
#include <filesystem>
#include <vector>

#include "curves/tacfit.h"

namespace quorvel::testing_curves {

inline std::filesystem::path testHome() {
  static const std::filesystem::path home = [] {
    std::filesystem::path p = std::filesystem::path(QUORVEL_TEST_TMP) / "curves_home";
    std::filesystem::create_directories(p);
    return p;
  }();
  return home;
}

inline FitContext context(int Ninst = 8, float CYCLE = 125.0f) {
  FitContext c;
  c.Ninst = Ninst;
  c.CYCLE = CYCLE;
  return c;
}

// tacfit_arg from the instants: the first value repeated at the end.
inline std::vector<double> closed(const std::vector<double>& v) {
  std::vector<double> c = v;
  c.push_back(v.front());
  return c;
}

}  // namespace quorvel::testing_curves
