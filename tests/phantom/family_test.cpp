// The phantom family's splits: each draws hearts of its own, under its own name, the same on every run.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "phantom/family.h"

namespace quorvel::phantom {
namespace {

TEST(PhantomFamily, SplitsDrawTheirOwnHeartsUnderTheirOwnNames) {
  const FamilySplit kSplits[] = {FamilySplit::Tuning, FamilySplit::Test, FamilySplit::Retest, FamilySplit::Tuning2,
                                  FamilySplit::Test2,  FamilySplit::Retest2, FamilySplit::Test3};
  std::set<uint64_t> seeds;
  int drawn = 0;
  for (FamilySplit split : kSplits) {
    FamilySplit parsed{};
    ASSERT_TRUE(parseSplit(splitName(split), parsed));
    EXPECT_EQ(parsed, split);
    for (int i = 0; i < 3; ++i, ++drawn) {  // a draw validates its hearts: about half a second
      const FamilyCase c = drawFamilyCase(split, i);
      EXPECT_EQ(c.name.rfind(std::string(splitName(split)) + "-", 0), 0u) << c.name;
      seeds.insert(c.params.seed);
    }
  }
  EXPECT_EQ(static_cast<int>(seeds.size()), drawn);  // no heart shared between or within splits
  EXPECT_EQ(drawFamilyCase(FamilySplit::Retest, 2).params.seed, drawFamilyCase(FamilySplit::Retest, 2).params.seed);
  // The first splits keep the hearts reported with them: a faulty tuning heart, drawn after its fault.
  const FamilyCase tune2 = drawFamilyCase(FamilySplit::Tuning, 2);
  EXPECT_EQ(tune2.params.lv_fault.kind, WallFault::Hypokinetic);
  EXPECT_EQ(tune2.params.lv_fault.sector, 14);
  EXPECT_DOUBLE_EQ(tune2.params.rotation_deg, -18.807162151633364);
  EXPECT_EQ(tune2.params.rv_fault.kind, WallFault::None);
  // The second splits give some of their faults to the right free wall.
  int rightFaults = 0;
  for (int i = 0; i < 12; ++i)
    rightFaults += drawFamilyCase(FamilySplit::Test2, i).params.rv_fault.kind != WallFault::None;
  EXPECT_GT(rightFaults, 0);
  FamilySplit none{};
  EXPECT_FALSE(parseSplit("train", none));
}

}  // namespace
}  // namespace quorvel::phantom
