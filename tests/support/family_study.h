#pragma once
// A study file of the varied phantom family: the k-th tuning case with a given matrix and number
// of instants, written once into a folder and kept there for the next run.
#include <filesystem>

#include "phantom/family.h"
#include "phantom/writers.h"

namespace quorvel::testing {

inline constexpr int kFamilyCasesSearched = 200;

// The file's path (empty when none of the searched cases has this matrix and these instants).
inline std::filesystem::path familyStudyFile(int matrix, int instants, int k, const std::filesystem::path& folder) {
  for (int i = 0, found = 0; i < kFamilyCasesSearched; ++i) {
    const phantom::FamilyCase c = phantom::drawFamilyCase(phantom::FamilySplit::Tuning, i);
    if (c.params.matrix != matrix || c.params.instants != instants || found++ < k) continue;
    const std::filesystem::path file = folder / (c.name + "_el.dcm");
    if (!std::filesystem::exists(file)) {
      std::filesystem::create_directories(folder);
      phantom::writeAcquisitions(phantom::buildPhantom(c.params), folder, c.name, {phantom::OutputFormat::DicomExplicit});
    }
    return file;
  }
  return {};
}

}  // namespace quorvel::testing
