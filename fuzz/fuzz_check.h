#pragma once
// What the fuzz targets share: invariants that abort with a message, so that the fuzzer keeps the
// input that broke one (coverage alone finds crashes, not wrong values), and the checks every
// accepted study must pass whichever reader made it.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/capacities.h"
#include "study/study_record.h"

#define FUZZ_REQUIRE(condition) \
  ((condition) ? void(0) : ::quorvel::fuzz::broken(#condition, __FILE__, __LINE__))

namespace quorvel::fuzz {

[[noreturn]] inline void broken(const char* what, const char* file, int line) {
  std::fprintf(stderr, "invariant broken at %s:%d: %s\n", file, line, what);
  std::abort();
}

inline bool finiteIn(double v, double lo, double hi) { return std::isfinite(v) && v >= lo && v <= hi; }

// A header accepted by a reader: sizes a voxel can have, counts the capacities hold, a cycle.
inline void checkRecord(const StudyRecord& s) {
  FUZZ_REQUIRE(s.Ninst == 8 || s.Ninst == 16);
  FUZZ_REQUIRE(s.NCZ >= 1 && s.NCZ <= kMaxSlices);
  FUZZ_REQUIRE(finiteIn(s.VOXEL_SIZE_XY, 0.01, 5.0));  // 0.1 to 50 mm, in cm
  FUZZ_REQUIRE(finiteIn(s.VOXEL_SIZE_Z, 0.01, 5.0));
  FUZZ_REQUIRE(finiteIn(s.CYCLE, 1e-3, 1e6));
  FUZZ_REQUIRE(std::isfinite(s.CARD_FREQ) && s.CARD_FREQ > 0);
  FUZZ_REQUIRE(s.CARD_FREQ_INT >= 1);
  FUZZ_REQUIRE(!s.HEART_RATE || (s.CARD_FREQ_INT >= 30 && s.CARD_FREQ_INT <= 240));
  FUZZ_REQUIRE(s.PAT_NAME.size() < kPatNameSize);
  FUZZ_REQUIRE(s.patient_name.size() < kPatientNameSize);
  const FileGeometry& g = s.file_geometry;
  FUZZ_REQUIRE(g.Ninst == 8 || g.Ninst == 16);
  FUZZ_REQUIRE(g.OrImSize_H >= 1 && g.OrImSize_H <= kMaxFileImageSide);
  FUZZ_REQUIRE(g.OrImSize_V >= 1 && g.OrImSize_V <= kMaxFileImageSide);
}

// Counts of a study ready for the later stages: the working matrix whole, every value finite
// and within what 16-bit values, summed over two instants and rescaled, can give.
inline void checkStudy(const Study& s, double maxMagnitude) {
  checkRecord(s);
  FUZZ_REQUIRE(s.DATA.size() == static_cast<size_t>(s.Ninst) * s.NCZ * kSliceVoxels);
  for (float v : s.DATA) FUZZ_REQUIRE(finiteIn(v, -maxMagnitude, maxMagnitude));
}

}  // namespace quorvel::fuzz
