#pragma once
// A family of varied hearts drawn from ranges and a seed: sizes, ejection fractions, shapes,
// wall faults, atria against the base, backgrounds, counts, voxel sizes, matrices, instants,
// poses and patient positions. The tuning split and the test splits draw from ranges that overlap
// without coinciding and from disjoint seeds, so that a method tuned on one can be judged on the
// others. The retest split draws the test ranges from seeds of its own: a held-out set for the
// report once the test split's failures have been looked at. The second tuning and test splits
// draw the same ranges from seeds of their own, and give some of their wall faults to the right
// ventricle's free wall; the second retest split is their held-out set once the second test split
// has been looked at.
#include <string>
#include <utility>
#include <vector>

#include "phantom/phantom.h"

namespace quorvel::phantom {

enum class FamilySplit { Tuning, Test, Retest, Tuning2, Test2, Retest2, Test3 };
const char* splitName(FamilySplit s);  // "tune", "test", "retest", "tune2", "test2", "retest2", "test3"
bool parseSplit(const std::string& name, FamilySplit& s);

struct FamilyCase {
  std::string name;  // split and index, e.g. "test-007"
  PhantomParams params;
  // Factor name and this case's level, for tables broken down by factor.
  std::vector<std::pair<std::string, std::string>> factors;
};

// Case `index` of a split: the same parameters on every platform (the draws use the fully
// specified 64-bit Mersenne twister). Redraws until the parameters pass validate().
FamilyCase drawFamilyCase(FamilySplit split, int index);

}  // namespace quorvel::phantom
