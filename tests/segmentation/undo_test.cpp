// The undo snapshot files: their layout, what restores them, their refusals and failed writes.
// The ring driven by corrections on the phantom is tested with the corrections.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "base/byte_reader.h"
#include "segmentation/undo.h"
#include "segmentation_fixture.h"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;
constexpr int kRing = kUndoSegmentationRing;

class UndoFile : public SegmentationTest {
 protected:
  void SetUp() override {
    SegmentationTest::SetUp();
    makeStudy(2, 3);
  }
  void makeStudy(int ninst, int ncz) {
    w.study = blankStudy(ninst, ncz);
    seg.LPE.resize(w.study.DATA.size());
    for (size_t i = 0; i < seg.LPE.size(); ++i) seg.LPE[i] = static_cast<uint16_t>((i * 7919) % 1000);
    seg.NREG = kMaxLabels;
    for (int l = 0; l < kLabelSlots; ++l) seg.CORR[l] = l % 4;
    seg.CORR[500] = kClassExcludedRegion;
    seg.CORR[999] = -1;
    for (int t = 0; t < kMaxInstants; ++t) {
      lim().limD_sup[t] = 60 - t;
      lim().limD_inf[t] = t;
      lim().limG_sup[t] = 50 - t;
      lim().limG_inf[t] = 2 * t;
    }
  }
  SliceLimits& lim() { return w.settings.limits; }
  WorkflowState& flow() { return w.settings.flow; }
  int save() { return SAVE_UNDO(kRing, dir, w.options, w.study, lim(), flow(), seg); }
  int load() { return LOAD_UNDO(kRing, dir, w.options, w.study, lim(), flow(), seg); }
  size_t snapshotSize() const { return 40400 + 2 * w.study.DATA.size(); }
  std::vector<std::string> tempFiles() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir / "temp")) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(UndoFile, SnapshotHasTheFixedLayoutAndSlotName) {
  EXPECT_EQ(undoSlotPath(dir, 7), dir / "temp" / "undo_seg_007");
  EXPECT_EQ(undoSlotPath(dir, 123).filename(), "undo_seg_123");
  ASSERT_EQ(save(), 1);
  EXPECT_EQ(flow().UNDOseg_pos, 1);
  EXPECT_EQ(flow().UNDOseg_lev, 1);
  EXPECT_TRUE(undoAvailable(flow()));
  const auto bytes = readWholeFile(undoSlotPath(dir, 0));
  ASSERT_TRUE(bytes);
  ASSERT_EQ(bytes->size(), snapshotSize());
  const ByteReader in(*bytes);
  for (int l = 0; l < kLabelSlots; ++l) ASSERT_EQ(static_cast<int>(*in.u32le(4 * l)), seg.CORR[l]) << l;
  EXPECT_EQ(*in.u32le(4 * 999), 0xFFFFFFFFu);
  for (size_t o = 4000; o < 40000; ++o) ASSERT_EQ((*bytes)[o], 0) << o;
  for (int t = 0; t < kMaxInstants; ++t) {
    EXPECT_EQ(static_cast<int>(*in.u32le(40000 + 4 * t)), lim().limD_sup[t]);
    EXPECT_EQ(static_cast<int>(*in.u32le(40100 + 4 * t)), lim().limD_inf[t]);
    EXPECT_EQ(static_cast<int>(*in.u32le(40200 + 4 * t)), lim().limG_sup[t]);
    EXPECT_EQ(static_cast<int>(*in.u32le(40300 + 4 * t)), lim().limG_inf[t]);
  }
  for (size_t i = 0; i < seg.LPE.size(); ++i) ASSERT_EQ(*in.u16le(40400 + 2 * i), seg.LPE[i]) << i;
  // Replacing a slot leaves nothing else beside it.
  flow().UNDOseg_pos = 0;
  seg.CORR[1] = kClassLeft;
  ASSERT_EQ(save(), 1);
  EXPECT_EQ(tempFiles(), std::vector<std::string>{"undo_seg_000"});
  EXPECT_EQ(*ByteReader(*readWholeFile(undoSlotPath(dir, 0))).u32le(4), 1u);
}

TEST_F(UndoFile, UndoRestoresClassesLimitsAndLabelsAndStepsBack) {
  const Segmentation before = seg;
  const SliceLimits limits = lim();
  ASSERT_EQ(save(), 1);
  seg.CORR.fill(kClassOther);
  lim().limG_inf.fill(9);
  lim().limD_sup.fill(1);
  std::fill(seg.LPE.begin(), seg.LPE.end(), 4);
  ASSERT_EQ(load(), 1);
  EXPECT_EQ(seg.CORR, before.CORR);
  EXPECT_TRUE(seg.LPE == before.LPE);
  EXPECT_EQ(lim().limG_inf, limits.limG_inf);
  EXPECT_EQ(lim().limG_sup, limits.limG_sup);
  EXPECT_EQ(lim().limD_inf, limits.limD_inf);
  EXPECT_EQ(lim().limD_sup, limits.limD_sup);
  EXPECT_EQ(flow().UNDOseg_pos, 0);
  EXPECT_EQ(flow().UNDOseg_lev, 0);
  EXPECT_FALSE(undoAvailable(flow()));
  seg.CORR.fill(0);
  EXPECT_EQ(load(), 0) << "nothing left to restore";
  EXPECT_EQ(seg.CORR[1], 0);

  // Labels issued after a new segmentation may be fewer than the snapshot's: NREG covers them.
  ASSERT_EQ(save(), 1);
  seg.NREG = 2;
  ASSERT_EQ(load(), 1);
  EXPECT_EQ(seg.NREG, *std::max_element(seg.LPE.begin(), seg.LPE.end()));
}

TEST_F(UndoFile, FailedSnapshotLeavesTheCountersAndThePreviousSnapshots) {
  const Segmentation a = seg;
  ASSERT_EQ(save(), 1);
  seg.CORR[3] = kClassLeft;
  const Segmentation b = seg;
  ASSERT_EQ(save(), 1);
  seg.CORR[3] = kClassRight;

  // A directory in the slot's place.
  fs::create_directory(undoSlotPath(dir, 2));
  EXPECT_EQ(save(), 0);
  EXPECT_EQ(flow().UNDOseg_pos, 2);
  EXPECT_EQ(flow().UNDOseg_lev, 2);
  EXPECT_TRUE(fs::is_directory(undoSlotPath(dir, 2)));
  EXPECT_EQ(tempFiles(), (std::vector<std::string>{"undo_seg_000", "undo_seg_001", "undo_seg_002"}));
  fs::remove(undoSlotPath(dir, 2));

  // The temporary file cannot be created: an older snapshot in the slot stays whole.
  flow().UNDOseg_pos = 2;
  ASSERT_EQ(save(), 1);
  const auto older = readWholeFile(undoSlotPath(dir, 2));
  flow().UNDOseg_pos = 2;
  flow().UNDOseg_lev = 2;
  seg.CORR[3] = kClassOther;
  fs::path tmp = undoSlotPath(dir, 2);
  tmp += ".tmp";
  fs::create_directory(tmp);
  EXPECT_EQ(save(), 0);
  EXPECT_EQ(flow().UNDOseg_pos, 2);
  EXPECT_EQ(flow().UNDOseg_lev, 2);
  EXPECT_EQ(readWholeFile(undoSlotPath(dir, 2)), older);
  fs::remove(tmp);

  // Both earlier snapshots still restore, newest first.
  ASSERT_EQ(load(), 1);
  EXPECT_EQ(seg.CORR, b.CORR);
  ASSERT_EQ(load(), 1);
  EXPECT_EQ(seg.CORR, a.CORR);

  // No temp folder at all.
  fs::remove_all(dir / "temp");
  flow().UNDOseg_pos = 3;
  flow().UNDOseg_lev = 2;
  EXPECT_EQ(save(), 0);
  EXPECT_EQ(flow().UNDOseg_pos, 3);
  EXPECT_EQ(flow().UNDOseg_lev, 2);
}

TEST_F(UndoFile, ShortForeignOrCorruptSnapshotsAreRefused) {
  const Segmentation saved = seg;
  auto expectRefused = [&](const char* why) {
    SCOPED_TRACE(why);
    seg.CORR.fill(kClassLeft);
    const auto corr = seg.CORR;
    flow().UNDOseg_pos = 1;
    flow().UNDOseg_lev = 1;
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(flow().UNDOseg_pos, 1);
    EXPECT_EQ(flow().UNDOseg_lev, 1);
    EXPECT_EQ(seg.CORR, corr);
  };
  auto rewrite = [&](const std::vector<uint8_t>& bytes) {
    std::ofstream(undoSlotPath(dir, 0), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  };
  ASSERT_EQ(save(), 1);
  const std::vector<uint8_t> good = *readWholeFile(undoSlotPath(dir, 0));

  rewrite(std::vector<uint8_t>(good.begin(), good.end() - 1));
  expectRefused("one byte short");
  rewrite(std::vector<uint8_t>(good.begin(), good.begin() + 40400));
  expectRefused("labels missing");
  std::vector<uint8_t> corrupt = good;
  corrupt[40400 + 2 * 17] = 0xE8;  // label 1000
  corrupt[40400 + 2 * 17 + 1] = 0x03;
  rewrite(corrupt);
  expectRefused("a label above the capacity");
  rewrite(good);
  makeStudy(2, 4);  // a study with one slice more
  expectRefused("another study");
  makeStudy(2, 2);
  expectRefused("a study with one slice less");
  fs::remove(undoSlotPath(dir, 0));
  makeStudy(2, 3);
  expectRefused("missing");
  rewrite(good);
  seg.CORR.fill(0);
  ASSERT_EQ(load(), 1);
  EXPECT_EQ(seg.CORR, saved.CORR);
}

TEST_F(UndoFile, OnlyTheSegmentationRingIsKeptAndEmptyingKeepsTheFiles) {
  EXPECT_EQ(SAVE_UNDO(1, dir, w.options, w.study, lim(), flow(), seg), 0);
  EXPECT_TRUE(tempFiles().empty());
  ASSERT_EQ(save(), 1);
  EXPECT_EQ(LOAD_UNDO(3, dir, w.options, w.study, lim(), flow(), seg), 0);
  EXPECT_EQ(flow().UNDOseg_lev, 1);
  emptyUndo(flow());
  EXPECT_EQ(flow().UNDOseg_pos + flow().UNDOseg_lev, 0);
  EXPECT_EQ(tempFiles().size(), 1u);
}

}  // namespace
}  // namespace quorvel::testing
