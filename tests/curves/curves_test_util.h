#pragma once
// Shared helpers of the curve tests: a private application folder and an 8-instant context.
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "curves/tacfit.h"

namespace quorvel::testing_curves {

// TACFIT_NEW writes TAC.txt into the application folder: keep it out of the user's folder.
inline std::filesystem::path testHome() {
  static const std::filesystem::path home = [] {
    std::filesystem::path p = std::filesystem::path(QUORVEL_TEST_TMP) / "curves_home";
    std::filesystem::create_directories(p);
    setenv("QUORVEL_HOME", p.c_str(), 1);
    return p;
  }();
  return home;
}

inline FitContext context(int Ninst = 8, float CYCLE = 125.0f) {
  testHome();
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
