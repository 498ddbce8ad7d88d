// Corrections by hand on the segmented phantom, as a physician makes them: assignments,
// slice-only assignments, enclosed regions, exclusions, limits, the brush, locks and the
// presence check. Every sequence ends with the class census and the statistics checked against
// straightforward recounts written here.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

#include "render/view_geometry.h"
#include "segmentation/classification.h"
#include "segmentation/corrections.h"
#include "segmentation/corrections_texts.h"
#include "segmentation/region_stats.h"
#include "segmentation/undo.h"
#include "ui/segmentation_input.h"
#include "workstation_fixture.h"

namespace quorvel::testing {
namespace {

namespace texts = corrections_texts;
constexpr auto kPrimary = MouseButton::Primary;
constexpr auto kSecondary = MouseButton::Secondary;
constexpr KeyModifiers kNone{}, kCtrl{true, false}, kShift{false, true};

// Voxels per class and instant: [class][t].
using Census = std::array<std::array<long, kMaxInstants>, 16>;

class Corrections : public WorkstationTest {
 protected:
  static void SetUpTestSuite() {
    // Some cases look for particular arrangements of regions (a class-3 region between the right
    // ventricle and two others, a structure away from the heart); this anatomy, atria 6 mm beyond
    // the valve plane, has them.
    phantom::PhantomParams params = phantom::defaultParams(64);
    params.anatomy.atrial_gap_mm = 6;
    PhantomSession p(phantom::buildPhantom(params), std::filesystem::path(QUORVEL_TEST_TMP) / "corrections_suite");
    if (!segmentInWorkingPose(p.ws)) return;
    segmentedStudy = std::make_unique<StudyWorkspace>(p.ws.w);
    segmented = std::make_unique<Segmentation>(p.ws.seg);
  }
  static void TearDownTestSuite() {
    segmentedStudy.reset();
    segmented.reset();
  }

  void SetUp() override {
    WorkstationTest::SetUp();
    ASSERT_TRUE(segmented) << "the phantom could not be segmented";
    ws->w = *segmentedStudy;
    ws->seg = *segmented;
    // Every slice of the study in the mosaic.
    ws->mosaic.NcellH = ws->mosaic.NcellV = 8;
    ws->mosaic.htayaff = 8 * kCellWidth;
    ws->mosaic.vtayaff = 8 * kCellHeight;
    ws->w.study.seg_affmin = 0;
    ws->w.settings.flow.segment_updt1 = ws->w.settings.flow.segment_updt2 = 0;
    original = ws->seg.CORR;
  }

  WorkflowState& flow() { return ws->w.settings.flow; }
  SliceLimits& lim() { return ws->w.settings.limits; }
  int NCZ() const { return ws->w.study.NCZ; }
  int labelAt(int t, int z, int r, int c) const { return ws->seg.LPE[Segmentation::index(ws->w.study.NCZ, t, z, r, c)]; }

  // View position of a voxel, in the count panel or the class panel (inside its 2 x 2 block).
  std::pair<int, int> pos(const SliceVoxel& v, bool classPanel = false) const {
    const auto [x, y] = mosaicPixelOf(ws->mosaic, ws->w.study.seg_affmin, v, classPanel);
    return {x + 1, y + 1};
  }
  void press(MouseButton b, KeyModifiers m, const SliceVoxel& v) {
    const auto [x, y] = pos(v);
    segButtonPress(*ws, b, m, x, y);
    segButtonRelease(*ws);
  }
  void move(const SliceVoxel& v) {
    const auto [x, y] = pos(v);
    segMouseMove(*ws, x, y);
  }

  // An inner voxel of the label at instant t, in the slice where it is largest.
  std::optional<SliceVoxel> voxelOf(int label, int t) const {
    int bestZ = -1;
    long best = 0;
    for (int z = 0; z < NCZ(); ++z) {
      long n = 0;
      for (int r = 0; r < kMatrix; ++r)
        for (int c = 0; c < kMatrix; ++c) n += labelAt(t, z, r, c) == label;
      if (n > best) best = n, bestZ = z;
    }
    if (bestZ < 0) return std::nullopt;
    std::optional<SliceVoxel> any;
    for (int r = 1; r < kMatrix - 1; ++r)
      for (int c = 1; c < kMatrix - 1; ++c) {
        if (labelAt(t, bestZ, r, c) != label) continue;
        if (!any) any = SliceVoxel{bestZ, r, c};
        if (labelAt(t, bestZ, r - 1, c) == label && labelAt(t, bestZ, r + 1, c) == label &&
            labelAt(t, bestZ, r, c - 1) == label && labelAt(t, bestZ, r, c + 1) == label)
          return SliceVoxel{bestZ, r, c};
      }
    return any;
  }
  // The first instant where the label has voxels, made current, and a voxel there.
  std::optional<SliceVoxel> showLabel(int label) {
    for (int t = 0; t < ws->w.study.Ninst; ++t)
      if (auto v = voxelOf(label, t)) {
        ws->w.study.instant = t;
        return v;
      }
    return std::nullopt;
  }
  int largestOfClass(int cls) const {
    int best = 0;
    for (int l = 1; l <= ws->seg.NREG; ++l)
      if (ws->seg.CORR[l] == cls && ws->seg.CARD[l] > ws->seg.CARD[best]) best = l;
    return best;
  }
  std::array<long, kMaxInstants> voxelsPerInstant(int label) const {
    std::array<long, kMaxInstants> n{};
    for (int t = 0; t < ws->w.study.Ninst; ++t)
      for (size_t i = t * ws->w.study.instantSize(); i < (t + 1) * ws->w.study.instantSize(); ++i) n[t] += ws->seg.LPE[i] == label;
    return n;
  }

  // Regions with voxels at instant 0, each with one of its voxels there.
  std::vector<std::pair<int, SliceVoxel>> regionsAtFirstInstant() const {
    std::vector<std::pair<int, SliceVoxel>> out;
    for (int l = 1; l <= ws->seg.NREG; ++l)
      if (auto v = voxelOf(l, 0)) out.emplace_back(l, *v);
    return out;
  }
  // One assignment with its snapshot: a region to a ventricle it is not in yet.
  void assignElsewhere(const std::pair<int, SliceVoxel>& region, int k) {
    const int cls = ws->seg.CORR[region.first];
    press(cls == kClassRight || (k % 2 && cls != kClassLeft) ? kSecondary : kPrimary, kNone, region.second);
  }
  int undo() {
    auto c = ws->segmentation();
    return LOAD_UNDO(kUndoSegmentationRing, c);
  }

  // Class of every voxel with the threshold rule (equilibrium off) and the limit rule.
  Census census() const {
    const Study& s = ws->w.study;
    Census n{};
    for (int t = 0; t < s.Ninst; ++t)
      for (int z = 0; z < s.NCZ; ++z)
        for (int r = 0; r < kMatrix; ++r)
          for (int col = 0; col < kMatrix; ++col) {
            const size_t i = Segmentation::index(s.NCZ, t, z, r, col);
            int cls = ws->seg.CORR[ws->seg.LPE[i]];
            const int level = static_cast<int>(s.DATA[i]);
            if (ws->w.options.equilibrium == 0 && cls > 0 && cls < kStructMaxEntries &&
                level * 400.0f / ws->seg.struct_max[cls] < s.seuillage * 4.0f)
              cls = 0;
            if (cls == 1 && (z < ws->w.settings.limits.limG_inf[t] || z > ws->w.settings.limits.limG_sup[t])) cls = 3;
            if (cls == 2 && (z < ws->w.settings.limits.limD_inf[t] || z > ws->w.settings.limits.limD_sup[t])) cls = 3;
            ++n[cls][t];
          }
    return n;
  }
  bool presentAtEveryInstant(const Census& n, int cls) const {
    for (int t = 0; t < ws->w.study.Ninst; ++t)
      if (n[cls][t] == 0) return false;
    return true;
  }

  // Statistics equal to a full recount, struct_max equal to its definition, and the presence
  // check agreeing with the census (messages included).
  void expectConsistent(const char* when) {
    SCOPED_TRACE(when);
    const Study& s = ws->w.study;
    Segmentation fresh = ws->seg;
    TraceLog quiet;
    RECOUP_CLASS(0, s.Ninst, s.NCZ, fresh, quiet);
    EXPECT_EQ(ws->seg.CARD, fresh.CARD);
    EXPECT_TRUE(ws->seg.RECOUP == fresh.RECOUP);
    EXPECT_TRUE(ws->seg.RECOUP_Z == fresh.RECOUP_Z);

    std::array<int, 4> top{1, 1, 1, 1};
    for (int t = 0; t < s.Ninst; ++t)
      for (int z = 0; z < s.NCZ; ++z)
        for (size_t i = Segmentation::index(s.NCZ, t, z, 0, 0); i < Segmentation::index(s.NCZ, t, z + 1, 0, 0); ++i) {
          int cls = ws->seg.CORR[ws->seg.LPE[i]];
          if (cls == 1 && (z < lim().limG_inf[t] || z > lim().limG_sup[t])) cls = 3;
          if (cls == 2 && (z < lim().limD_inf[t] || z > lim().limD_sup[t])) cls = 3;
          if (cls < 4) top[cls] = std::max(top[cls], static_cast<int>(s.DATA[i]));
        }
    EXPECT_FLOAT_EQ(ws->seg.struct_max[1], top[1]);
    EXPECT_FLOAT_EQ(ws->seg.struct_max[2], top[2]);
    EXPECT_FLOAT_EQ(ws->seg.struct_max[3], (top[1] + top[2]) * 0.5f);

    const Census n = census();
    const bool left = presentAtEveryInstant(n, 1), right = presentAtEveryInstant(n, 2);
    const size_t before = platform.texts("warning").size();
    auto c = ws->segmentation();
    EXPECT_EQ(ws->checkVentricles(), left && right ? 1 : 0);
    const auto shown = platform.texts("warning");
    std::vector<std::string> expected;
    if (!left) expected.push_back(texts::kLeftVentricleAbsent.pick(ws->w.options.LANGUE));
    if (!right) expected.push_back(texts::kRightVentricleAbsent.pick(ws->w.options.LANGUE));
    EXPECT_EQ(std::vector<std::string>(shown.begin() + before, shown.end()), expected);
  }

  // Which labels each label touches, from the voxels (same 8 neighbours as the contact counts).
  std::vector<std::set<int>> touching() const {
    const Study& s = ws->w.study;
    std::vector<std::set<int>> adj(kLabelSlots);
    for (int t = 0; t < s.Ninst; ++t)
      for (int z = 0; z < s.NCZ; ++z)
        for (int r = 1; r < kMatrix - 1; ++r)
          for (int col = 1; col < kMatrix - 1; ++col) {
            const int a = labelAt(t, z, r, col);
            if (a == 0) continue;
            const int n[8] = {z > 0 ? labelAt(t, z - 1, r, col) : a, z < s.NCZ - 1 ? labelAt(t, z + 1, r, col) : a,
                              labelAt(t, z, r + 1, col), labelAt(t, z, r - 1, col), labelAt(t, z, r, col + 1),
                              labelAt(t, z, r, col - 1), labelAt((t + s.Ninst - 1) % s.Ninst, z, r, col),
                              labelAt((t + 1) % s.Ninst, z, r, col)};
            for (int b : n)
              if (b != a) adj[a].insert(b);
          }
    return adj;
  }

  static std::unique_ptr<StudyWorkspace> segmentedStudy;
  static std::unique_ptr<Segmentation> segmented;
  Segmentation::ClassTable original{};
};

std::unique_ptr<StudyWorkspace> Corrections::segmentedStudy;
std::unique_ptr<Segmentation> Corrections::segmented;

// ---- where the mouse points ---------------------------------------------------------------

TEST_F(Corrections, BothPanelsAddressTheSameVoxelsOfTheMosaic) {
  ws->mosaic.NcellH = 3;
  ws->mosaic.NcellV = 2;
  ws->mosaic.htayaff = 3 * kCellWidth;
  ws->w.study.seg_affmin = 20;
  // Cell 0: slice 20; cell 4 (second row, second column): slice 24.
  EXPECT_EQ(mosaicVoxelAt(ws->mosaic, ws->w.study.NCZ, ws->w.study.seg_affmin, 11, 15), (SliceVoxel{20, 7, 5}));
  EXPECT_EQ(mosaicVoxelAt(ws->mosaic, ws->w.study.NCZ, ws->w.study.seg_affmin, 384 + 11, 15), (SliceVoxel{20, 7, 5}));
  EXPECT_EQ(mosaicVoxelAt(ws->mosaic, ws->w.study.NCZ, ws->w.study.seg_affmin, 128 + 127, 128 + 126), (SliceVoxel{24, 63, 63}));
  EXPECT_EQ(mosaicVoxelAt(ws->mosaic, ws->w.study.NCZ, ws->w.study.seg_affmin, 384 + 128 + 127, 128 + 126), (SliceVoxel{24, 63, 63}));
  // Past the last slice: ignored, or clamped for the limits.
  ws->w.study.seg_affmin = 60;
  EXPECT_EQ(mosaicVoxelAt(ws->mosaic, ws->w.study.NCZ, ws->w.study.seg_affmin, 256 + 1, 128 + 1), std::nullopt);  // slice 65
  EXPECT_EQ(mosaicSliceClampedAt(ws->mosaic, ws->w.study.NCZ, ws->w.study.seg_affmin, 256 + 1, 128 + 1), 63);
  EXPECT_EQ(mosaicVoxelAt(ws->mosaic, ws->w.study.NCZ, ws->w.study.seg_affmin, 256 + 1, 1), (SliceVoxel{62, 0, 0}));
  EXPECT_EQ(mosaicVoxelAt(ws->mosaic, ws->w.study.NCZ, ws->w.study.seg_affmin, -1, 5), std::nullopt);
  ws->w.study.seg_affmin = -2;  // a grid starting before the first slice
  EXPECT_EQ(mosaicVoxelAt(ws->mosaic, ws->w.study.NCZ, ws->w.study.seg_affmin, 1, 1), std::nullopt);
  EXPECT_EQ(mosaicSliceClampedAt(ws->mosaic, ws->w.study.NCZ, ws->w.study.seg_affmin, 1, 1), 0);

  // The retouching window: 4 x 4 pixels per voxel of retouche_slice.
  flow().retouche_slice = 33;
  EXPECT_EQ(retouchVoxelAt(flow().retouche_slice, ws->w.study.NCZ, 4 * 10 + 3, 4 * 62), (SliceVoxel{33, 62, 10}));
  EXPECT_EQ(retouchVoxelAt(flow().retouche_slice, ws->w.study.NCZ, 256, 0), std::nullopt);
  EXPECT_EQ(retouchVoxelAt(flow().retouche_slice, ws->w.study.NCZ, 0, -1), std::nullopt);
}

// ---- assignments ---------------------------------------------------------------------------

TEST_F(Corrections, RegionAssignedToTheWrongVentricleAndBack) {
  const Census before = census();
  const int L = largestOfClass(kClassLeft);
  ASSERT_GT(L, 0);
  const auto v = showLabel(L);
  ASSERT_TRUE(v);
  const auto perInstant = voxelsPerInstant(L);
  move(*v);
  EXPECT_EQ(flow().N_segsel, L);
  EXPECT_EQ(flow().N_coupesel, v->slice);
  flow().infuButton = 1;

  press(kPrimary, kNone, *v);  // the right ventricle, by mistake
  EXPECT_EQ(ws->seg.CORR[L], kClassRight);
  EXPECT_EQ(ws->input.butt_down, 0);
  EXPECT_EQ(flow().UNDOseg_lev, 1);
  EXPECT_EQ(flow().infuButton, 0);
  EXPECT_EQ(flow().segment_updt1, 1);
  EXPECT_EQ(flow().segment_updt2, 1);
  // The whole region, at every instant, and nothing else.
  const Census moved = census();
  for (int t = 0; t < ws->w.study.Ninst; ++t) {
    EXPECT_EQ(moved[1][t], before[1][t] - perInstant[t]) << t;
    EXPECT_EQ(moved[2][t], before[2][t] + perInstant[t]) << t;
  }
  for (int l = 0; l < kLabelSlots; ++l)
    if (l != L) {
      ASSERT_EQ(ws->seg.CORR[l], original[l]) << l;
    }
  expectConsistent("in the right ventricle");

  // Back with the secondary button, pointing at the class panel this time.
  auto c = ws->segmentation();
  const auto [x, y] = pos(*v, true);
  segButtonPress(*ws, kSecondary, kNone, x, y);
  EXPECT_EQ(ws->input.butt_down, kClassLeft);
  segButtonRelease(*ws);
  EXPECT_EQ(ws->seg.CORR, original);
  EXPECT_EQ(census(), before);
  EXPECT_EQ(flow().UNDOseg_lev, 2);
  expectConsistent("back in the left ventricle");
}

TEST_F(Corrections, SliceOnlyAssignmentChangesOneSliceAtOneInstant) {
  const int L = largestOfClass(kClassLeft);
  ws->w.study.instant = 2;
  const auto v = voxelOf(L, 2);
  ASSERT_TRUE(v);
  const std::vector<uint16_t> labels = ws->seg.LPE;
  const Census before = census();
  const int nreg = ws->seg.NREG;

  ws->input.visu_contupdt = 1;
  press(kPrimary, kNone, *v);
  ASSERT_EQ(ws->seg.NREG, nreg + 1);
  const int fresh = ws->seg.NREG;
  EXPECT_EQ(ws->seg.CORR[fresh], kClassRight);
  EXPECT_EQ(ws->seg.CORR[L], kClassLeft);
  long inSlice = 0, elsewhere = 0;
  for (int t = 0; t < ws->w.study.Ninst; ++t)
    for (int z = 0; z < NCZ(); ++z)
      for (int r = 0; r < kMatrix; ++r)
        for (int col = 0; col < kMatrix; ++col) {
          const size_t i = Segmentation::index(NCZ(), t, z, r, col);
          if (t == 2 && z == v->slice && labels[i] == L) {
            inSlice += ws->seg.LPE[i] == fresh;
          } else {
            elsewhere += ws->seg.LPE[i] != labels[i];
          }
        }
  EXPECT_GT(inSlice, 0);
  EXPECT_EQ(elsewhere, 0);
  const Census after = census();
  for (int t = 0; t < ws->w.study.Ninst; ++t) {
    EXPECT_EQ(after[1][t], before[1][t] - (t == 2 ? inSlice : 0)) << t;
    EXPECT_EQ(after[2][t], before[2][t] + (t == 2 ? inSlice : 0)) << t;
  }
  for (int l = 0; l <= nreg; ++l) ASSERT_EQ(ws->seg.CORR[l], original[l]) << l;
  // The new label's contacts are known at once (the enclosed-region rule reads them).
  expectConsistent("after the slice-only assignment");
}

TEST_F(Corrections, SliceOnlyDragIssuesOneLabelPerSliceAndUndoGivesThemBack) {
  const int L = largestOfClass(kClassLeft);
  ws->w.study.instant = 2;
  const auto v = voxelOf(L, 2);
  ASSERT_TRUE(v);
  SliceVoxel next = *v;
  next.slice += labelAt(2, v->slice + 1, v->row, v->col) != 0 ? 1 : -1;
  ASSERT_NE(labelAt(2, next.slice, next.row, next.col), 0);
  const int nreg = ws->seg.NREG;
  ws->input.visu_contupdt = 1;
  const auto [x, y] = pos(*v);
  const auto [nx, ny] = pos(next);
  segButtonPress(*ws, kPrimary, kNone, x, y);
  for (int i = 0; i < 50; ++i) segMouseMove(*ws, x, y);
  segMouseMove(*ws, nx, ny);
  segMouseMove(*ws, x, y);
  segMouseMove(*ws, nx, ny);
  segButtonRelease(*ws);
  EXPECT_EQ(ws->seg.NREG, nreg + 2);  // one label for each slice the drag crossed
  expectConsistent("after the slice-only drag");
  ASSERT_EQ(undo(), 1);
  EXPECT_EQ(ws->seg.NREG, nreg);  // the labels no voxel uses any more are free again
  EXPECT_EQ(ws->seg.CORR[nreg + 1], kClassBackground);
  expectConsistent("after its undo");
}

TEST_F(Corrections, EnclosedRegionJoinsOnlyWhenAllItsNeighboursAreTheVentricle) {
  // B: a class-3 region whose neighbours are right-ventricle regions and exactly two class-3
  // regions A1 and A2.
  int B = 0, A1 = 0, A2 = 0;
  for (int b = 1; b <= ws->seg.NREG && !B; ++b) {
    if (ws->seg.CORR[b] != kClassOther || ws->seg.CARD[b] == 0) continue;
    std::vector<int> others;
    bool right = false, left = false;
    for (int n = 1; n <= ws->seg.NREG; ++n) {
      if (n == b || ws->seg.RECOUP(b, n) <= 0) continue;
      right |= ws->seg.CORR[n] == kClassRight;
      left |= ws->seg.CORR[n] == kClassLeft;
      if (ws->seg.CORR[n] == kClassOther) others.push_back(n);
    }
    if (right && !left && others.size() == 2) B = b, A1 = others[0], A2 = others[1];
  }
  ASSERT_GT(B, 0) << "the phantom has no region between the right ventricle and two others";
  const auto pA1 = voxelsPerInstant(A1), pA2 = voxelsPerInstant(A2), pB = voxelsPerInstant(B);
  const Census before = census();

  auto v = showLabel(A1);
  ASSERT_TRUE(v);
  press(kPrimary, kNone, *v);
  EXPECT_EQ(ws->seg.CORR[A1], kClassRight);
  EXPECT_EQ(ws->seg.CORR[A2], kClassOther);
  EXPECT_EQ(ws->seg.CORR[B], kClassOther) << "B still touches A2, of class 3";
  expectConsistent("A1 assigned");

  v = showLabel(A2);
  ASSERT_TRUE(v);
  press(kPrimary, kNone, *v);
  EXPECT_EQ(ws->seg.CORR[A2], kClassRight);
  EXPECT_EQ(ws->seg.CORR[B], kClassRight) << "B now touches only the right ventricle";
  for (int l = 0; l < kLabelSlots; ++l)
    if (l != A1 && l != A2 && l != B) {
      ASSERT_EQ(ws->seg.CORR[l], original[l]) << l;
    }
  const Census after = census();
  for (int t = 0; t < ws->w.study.Ninst; ++t) EXPECT_EQ(after[2][t], before[2][t] + pA1[t] + pA2[t] + pB[t]) << t;
  expectConsistent("A2 assigned");
}

TEST_F(Corrections, ExclusionSpreadsThroughConnectedRegionsAndMarksAreCleared) {
  const auto adj = touching();
  auto closure = [&](int seed) {
    std::set<int> reached{seed};
    std::vector<int> todo{seed};
    while (!todo.empty()) {
      const int a = todo.back();
      todo.pop_back();
      for (int b : adj[a])
        if (ws->seg.CORR[b] > 0 && reached.insert(b).second) todo.push_back(b);
    }
    return reached;
  };
  auto holds = [&](const std::set<int>& s, int cls) {
    return std::any_of(s.begin(), s.end(), [&](int l) { return ws->seg.CORR[l] == cls; });
  };
  // A structure away from the heart (several regions), and one connected to the right ventricle.
  int away = 0, joined = 0;
  for (int l = 1; l <= ws->seg.NREG; ++l) {
    if (ws->seg.CORR[l] != kClassOther || ws->seg.CARD[l] == 0) continue;
    const auto s = closure(l);
    if (!away && s.size() > 2 && !holds(s, kClassLeft) && !holds(s, kClassRight)) away = l;
    if (!joined && holds(s, kClassRight)) joined = l;
  }
  ASSERT_GT(away, 0);
  ASSERT_GT(joined, 0);

  const auto structure = closure(away);
  auto v = showLabel(away);
  ASSERT_TRUE(v);
  auto c = ws->segmentation();
  auto [x, y] = pos(*v);
  ASSERT_TRUE(markKeyDown(*ws, kClassExcludedConnected, x, y));
  markKeyUp(*ws);
  EXPECT_EQ(ws->input.butt_down, 0);
  for (int l = 1; l <= ws->seg.NREG; ++l)
    ASSERT_EQ(ws->seg.CORR[l], structure.count(l) ? kClassExcludedConnected : original[l]) << l;
  expectConsistent("structure excluded");
  clearExclusionMarks(c);
  EXPECT_EQ(ws->seg.CORR, original);
  EXPECT_EQ(flow().UNDOseg_lev, 2);
  expectConsistent("marks cleared");

  // Excluding a region connected to the right ventricle takes the ventricle with it (and the left
  // one too when the structure reaches it; the right ventricle's warning comes last).
  const auto withVentricle = closure(joined);
  v = showLabel(joined);
  ASSERT_TRUE(v);
  std::tie(x, y) = pos(*v);
  ASSERT_TRUE(markKeyDown(*ws, kClassExcludedConnected, x, y));
  markKeyUp(*ws);
  for (int l = 1; l <= ws->seg.NREG; ++l)
    ASSERT_EQ(ws->seg.CORR[l], withVentricle.count(l) ? kClassExcludedConnected : original[l]) << l;
  expectConsistent("right ventricle excluded");
  EXPECT_EQ(platform.last("warning")->text, texts::kRightVentricleAbsent.fr);
  clearExclusionMarks(c);
  for (int l : withVentricle) EXPECT_EQ(ws->seg.CORR[l], kClassOther) << l;
  expectConsistent("cleared: the ventricle is now class 3");
  ASSERT_EQ(LOAD_UNDO(kUndoSegmentationRing, c), 1);
  ASSERT_EQ(LOAD_UNDO(kUndoSegmentationRing, c), 1);
  EXPECT_EQ(ws->seg.CORR, original);
  expectConsistent("both undone");
}

TEST_F(Corrections, MarkingKeysAndDragsTakeOneSnapshotPerPress) {
  // Two class-3 regions of the same instant.
  std::vector<int> others;
  for (int l = 1; l <= ws->seg.NREG; ++l)
    if (ws->seg.CORR[l] == kClassOther && voxelOf(l, 0)) others.push_back(l);
  ASSERT_GE(others.size(), 3u);
  const int P = others[0], Q = others[1], R = others[2];
  const SliceVoxel p = *voxelOf(P, 0), q = *voxelOf(Q, 0), r = *voxelOf(R, 0);
  auto c = ws->segmentation();

  auto [x, y] = pos(p);
  ASSERT_TRUE(markKeyDown(*ws, kClassExcludedRegion, x, y));  // up arrow
  EXPECT_FALSE(markKeyDown(*ws, kClassExcludedRegion, x, y));  // key repeat
  EXPECT_EQ(ws->input.butt_down, kClassExcludedRegion);
  move(q);  // marks further regions while held
  markKeyUp(*ws);
  move(r);
  EXPECT_EQ(ws->seg.CORR[P], kClassExcludedRegion);
  EXPECT_EQ(ws->seg.CORR[Q], kClassExcludedRegion);
  EXPECT_EQ(ws->seg.CORR[R], original[R]);
  EXPECT_EQ(ws->input.butt_down, 0);
  EXPECT_EQ(flow().UNDOseg_lev, 1);
  expectConsistent("two regions marked 13");

  std::tie(x, y) = pos(q);
  ASSERT_TRUE(markKeyDown(*ws, kClassOther, x, y));  // down arrow
  markKeyUp(*ws);
  EXPECT_EQ(ws->seg.CORR[Q], kClassOther);
  EXPECT_EQ(flow().UNDOseg_lev, 2);

  // A drag with the secondary button assigns every region it crosses, with one snapshot.
  std::tie(x, y) = pos(r);
  segButtonPress(*ws, kSecondary, kNone, x, y);
  move(q);
  segButtonRelease(*ws);
  move(p);
  EXPECT_EQ(ws->seg.CORR[R], kClassLeft);
  EXPECT_EQ(ws->seg.CORR[Q], kClassLeft);
  EXPECT_EQ(ws->seg.CORR[P], kClassExcludedRegion);
  EXPECT_EQ(flow().UNDOseg_lev, 3);
  expectConsistent("dragged into the left ventricle");

  // A marking key during a drag hands the drag back when it is released.
  segButtonPress(*ws, kSecondary, kNone, x, y);
  std::tie(x, y) = pos(q);
  ASSERT_TRUE(markKeyDown(*ws, kClassOther, x, y));
  EXPECT_EQ(ws->seg.CORR[Q], kClassOther);
  markKeyUp(*ws);
  EXPECT_EQ(ws->input.butt_down, kClassLeft);
  segButtonRelease(*ws);
  EXPECT_EQ(flow().UNDOseg_lev, 5);

  // A marking key while a key marking is under way, or while retouching, does nothing.
  ws->input.butt_down = kClassExcludedConnected;
  EXPECT_FALSE(markKeyDown(*ws, kClassOther, x, y));
  ws->input.butt_down = 0;
  flow().retouche_on = 1;
  EXPECT_FALSE(markKeyDown(*ws, kClassOther, x, y));
  EXPECT_EQ(flow().UNDOseg_lev, 5);
}

TEST_F(Corrections, SliceOnlyAssignmentBeyondTheLabelCapacityIsRefused) {
  const int L = largestOfClass(kClassLeft);
  const auto v = showLabel(L);
  ASSERT_TRUE(v);
  ws->seg.NREG = kMaxLabels;  // every label issued
  const Segmentation before = ws->seg;
  ws->input.visu_contupdt = 1;
  auto c = ws->segmentation();
  const auto [x, y] = pos(*v);
  segButtonPress(*ws, kPrimary, kNone, x, y);
  ASSERT_EQ(platform.count("warning"), 1);
  EXPECT_EQ(platform.last("warning")->text, "Dépassement nombre de régions !!  ");
  EXPECT_TRUE(ws->seg.LPE == before.LPE);
  EXPECT_EQ(ws->seg.CORR, before.CORR);
  EXPECT_EQ(ws->seg.NREG, kMaxLabels);
  // The drag ends: moving on does not ask again.
  EXPECT_EQ(ws->input.butt_down, 0);
  segMouseMove(*ws, x + 2, y);
  segButtonRelease(*ws);
  EXPECT_EQ(platform.count("warning"), 1);
  ws->w.options.LANGUE = kEnglish;
  segButtonPress(*ws, kPrimary, kNone, x, y);
  EXPECT_EQ(platform.last("warning")->text, "Dépassement nombre de régions !!  ");
  EXPECT_EQ(ws->seg.CORR, before.CORR);
  // Whole-region assignments issue no label and still work.
  ws->input.visu_contupdt = 0;
  segButtonPress(*ws, kPrimary, kNone, x, y);
  EXPECT_EQ(ws->seg.CORR[L], kClassRight);
}

TEST_F(Corrections, VentricleResetLeavesItAbsentAndTheCheckSaysSo) {
  auto c = ws->segmentation();
  EXPECT_EQ(ws->checkVentricles(), 1);
  EXPECT_EQ(platform.count("warning"), 0);
  resetVentricle(c, kClassLeft);
  for (int l = 1; l <= ws->seg.NREG; ++l) EXPECT_NE(ws->seg.CORR[l], kClassLeft);
  EXPECT_EQ(flow().UNDOseg_lev, 1);
  EXPECT_EQ(flow().segment_updt1, 1);
  expectConsistent("left ventricle reset");
  EXPECT_EQ(platform.last("warning")->text, "Le ventricule gauche est absent pour au moins un instant ...");

  ws->w.options.LANGUE = kEnglish;
  flow().infuButton = 1;
  resetVentricle(c, kClassRight);
  EXPECT_EQ(flow().infuButton, 0);
  platform.calls.clear();
  EXPECT_EQ(ws->checkVentricles(), 0);
  EXPECT_EQ(platform.texts("warning"),
            (std::vector<std::string>{"The left ventricle is absent for at least one instant ...",
                                      "The right ventricle is absent for at least one instant ..."}));
  expectConsistent("both reset");
}

TEST_F(Corrections, VentricleBelowThresholdAtOneInstantFailsWithEquilibriumOff) {
  ws->w.options.equilibrium = 0;
  expectConsistent("threshold rule on");
  auto c = ws->segmentation();
  ASSERT_EQ(ws->checkVentricles(), 1);
  // Instant 4: every left-ventricle voxel at the lowest level.
  for (int z = 0; z < NCZ(); ++z)
    for (int r = 0; r < kMatrix; ++r)
      for (int col = 0; col < kMatrix; ++col)
        if (ws->seg.CORR[labelAt(4, z, r, col)] == kClassLeft) ws->w.study.at(4, z, r, col) = 1.0f;
  EVAL_STRUC_MAX(ws->w.study, lim(), ws->seg);
  platform.calls.clear();
  EXPECT_EQ(ws->checkVentricles(), 0);
  EXPECT_EQ(platform.texts("warning"), std::vector<std::string>{texts::kLeftVentricleAbsent.fr});
  expectConsistent("left ventricle below the threshold");
  // With equilibrium on the threshold rule does not apply.
  ws->w.options.equilibrium = 1;
  EXPECT_EQ(ws->checkVentricles(), 1);
}

// ---- limits and lines ----------------------------------------------------------------------

TEST_F(Corrections, LimitsCrossingOverArePulledBack) {
  // Slices holding the left ventricle at instant 3.
  ws->w.study.instant = 3;
  int zmin = NCZ(), zmax = -1;
  for (int z = 0; z < NCZ(); ++z)
    for (int r = 0; r < kMatrix; ++r)
      for (int col = 0; col < kMatrix; ++col)
        if (ws->seg.CORR[labelAt(3, z, r, col)] == kClassLeft) zmin = std::min(zmin, z), zmax = std::max(zmax, z);
  ASSERT_LT(zmin, zmax);
  const int mid = (zmin + zmax) / 2;
  const SliceLimits before = lim();

  press(kSecondary, kCtrl, {mid, 10, 10});
  EXPECT_EQ(lim().limG_sup[3], mid);
  press(kSecondary, kShift, {std::min(mid + 3, NCZ() - 1), 10, 10});  // above the upper limit
  EXPECT_EQ(lim().limG_inf[3], mid) << "pulled down to the upper limit";
  for (int t = 0; t < ws->w.study.Ninst; ++t)
    if (t != 3) {
      EXPECT_EQ(lim().limG_inf[t], before.limG_inf[t]);
      EXPECT_EQ(lim().limG_sup[t], before.limG_sup[t]);
    }
  EXPECT_EQ(flow().UNDOseg_lev, 0) << "limits take no snapshot";
  EXPECT_EQ(flow().segment_updt1, 1);
  const Census one = census();
  long inMid = 0;
  for (int r = 0; r < kMatrix; ++r)
    for (int col = 0; col < kMatrix; ++col) inMid += ws->seg.CORR[labelAt(3, mid, r, col)] == kClassLeft;
  EXPECT_EQ(one[1][3], inMid);
  expectConsistent("left ventricle on one slice at instant 3");

  // The right ventricle: an upper limit set below the lower one is pushed back up.
  flow().infuButton = 1;
  press(kPrimary, kShift, {20, 0, 0});
  EXPECT_EQ(lim().limD_inf[3], 20);
  EXPECT_EQ(flow().infuButton, 0);
  press(kPrimary, kCtrl, {10, 0, 0});
  EXPECT_EQ(lim().limD_sup[3], 20);
  expectConsistent("right ventricle limits at instant 3");

  // Double clicks set every instant: the left ventricle above all of its slices is absent.
  int lowest = NCZ();
  for (int t = 0; t < ws->w.study.Ninst; ++t)
    for (int z = 0; z < NCZ(); ++z)
      for (int r = 0; r < kMatrix; ++r)
        for (int col = 0; col < kMatrix; ++col)
          if (ws->seg.CORR[labelAt(t, z, r, col)] == kClassLeft) lowest = std::min(lowest, z);
  ASSERT_GT(lowest, 0);
  auto c = ws->segmentation();
  auto [x, y] = pos({0, 0, 0});
  segDoubleClick(*ws, kSecondary, kShift, x, y);
  std::tie(x, y) = pos({lowest - 1, 0, 0});
  segDoubleClick(*ws, kSecondary, kCtrl, x, y);
  for (int t = 0; t < ws->w.study.Ninst; ++t) {
    EXPECT_EQ(lim().limG_inf[t], 0);
    EXPECT_EQ(lim().limG_sup[t], lowest - 1);
  }
  segDoubleClick(*ws, kPrimary, kNone, x, y);  // no modifier: nothing
  EXPECT_EQ(lim().limD_sup[0], before.limD_sup[0]);
  EXPECT_EQ(flow().UNDOseg_lev, 0);
  EXPECT_FALSE(presentAtEveryInstant(census(), kClassLeft));
  expectConsistent("left ventricle cut away");

  // Ctrl + arrows: the classification lines, only while shown, within 4..60.
  ReorientSettings& lines = ws->w.settings.reorient;
  EXPECT_TRUE(moveValveLine(c, -100));
  EXPECT_EQ(lines.valves_plano_, 4);
  EXPECT_FALSE(moveValveLine(c, -1));
  EXPECT_TRUE(moveSeptumLine(c, 1));
  EXPECT_EQ(lines.septum_plano, 33);
  lines.valves_planaff = 0;
  EXPECT_FALSE(moveSeptumLine(c, 1));
  EXPECT_EQ(lines.septum_plano, 33);
}

// ---- retouching ----------------------------------------------------------------------------

TEST_F(Corrections, BrushStrokeRecountsAtReleaseAndUndoRestores) {
  // A voxel of the left ventricle at its border with the background, at instant 0.
  const int L = largestOfClass(kClassLeft);
  std::optional<SliceVoxel> edge;
  for (int z = 0; z < NCZ() && !edge; ++z)
    for (int r = 2; r < kMatrix - 4 && !edge; ++r)
      for (int col = 2; col < kMatrix - 4 && !edge; ++col)
        if (labelAt(0, z, r, col) == L && labelAt(0, z, r, col + 2) == 0) edge = SliceVoxel{z, r, col};
  ASSERT_TRUE(edge);
  const Segmentation before = ws->seg;
  const Census census0 = census();
  auto c = ws->segmentation();
  const auto [x, y] = pos(*edge);
  ASSERT_TRUE(openRetouchingAt(*ws, x, y));
  EXPECT_EQ(flow().retouche_slice, edge->slice);
  EXPECT_EQ(flow().UNDOseg_lev, 1);

  flow().Paint_sz = 2;
  retouchMove(*ws, 4 * edge->col + 1, 4 * edge->row + 1);
  EXPECT_EQ(flow().Paint_reg, L);
  EXPECT_EQ(flow().Paint_no, kClassLeft);
  retouchPress(*ws, 4 * edge->col + 1, 4 * edge->row + 1);
  retouchMove(*ws, 4 * (edge->col + 2) + 1, 4 * edge->row + 1);
  // Painted voxels: two discs of radius 2 in this slice at instant 0.
  std::set<size_t> disc;
  for (int dc : {0, 2})
    for (int dr = -2; dr <= 2; ++dr)
      for (int dd = -2; dd <= 2; ++dd)
        if (dr * dr + dd * dd <= 4)
          disc.insert(Segmentation::index(NCZ(), 0, edge->slice, edge->row + dr, edge->col + dc + dd));
  long gained = 0;
  for (size_t i = 0; i < ws->seg.LPE.size(); ++i) {
    if (disc.count(i)) {
      ASSERT_EQ(ws->seg.LPE[i], L) << i;
      gained += ws->seg.CORR[before.LPE[i]] != kClassLeft;
    } else {
      ASSERT_EQ(ws->seg.LPE[i], before.LPE[i]) << i;
    }
  }
  EXPECT_GT(gained, 0);
  EXPECT_EQ(flow().paintPending, 1);
  retouchRelease(*ws);
  EXPECT_EQ(flow().Paint_on, 0);
  EXPECT_EQ(flow().paintPending, 0);
  const Census painted = census();
  EXPECT_EQ(painted[1][0], census0[1][0] + gained);
  for (int t = 1; t < ws->w.study.Ninst; ++t) EXPECT_EQ(painted[1][t], census0[1][t]);
  expectConsistent("after the stroke");

  move(*edge);  // back in the segmentation view: the window closes
  EXPECT_EQ(flow().retouche_on, 0);
  ASSERT_EQ(LOAD_UNDO(kUndoSegmentationRing, c), 1);
  EXPECT_TRUE(ws->seg.LPE == before.LPE);
  EXPECT_EQ(ws->seg.CARD, before.CARD);
  EXPECT_EQ(census(), census0);
  EXPECT_FALSE(undoAvailable(flow()));
  expectConsistent("stroke undone");
}

TEST_F(Corrections, RetouchingButtonsBrushSizeAndThreshold) {
  const int L = largestOfClass(kClassLeft);
  const auto v = showLabel(L);
  ASSERT_TRUE(v);
  auto c = ws->segmentation();
  const auto [x, y] = pos(*v);
  EXPECT_FALSE(changeBrushSize(c, 1)) << "only while the window is open";
  ASSERT_TRUE(openRetouchingAt(*ws, x, y));
  for (int button : {2, 2, 1, 3}) selectPaintButton(c, button);
  EXPECT_EQ(flow().Paint_type, 3);
  EXPECT_EQ(flow().Paint_on, 1);
  selectPaintButton(c, 3);
  EXPECT_EQ(flow().Paint_type + flow().Paint_on, 0);
  EXPECT_TRUE(changeBrushSize(c, 5));
  EXPECT_EQ(flow().Paint_sz, kBrushMax);
  EXPECT_TRUE(changeBrushSize(c, -9));
  EXPECT_FALSE(changeBrushSize(c, -1));
  EXPECT_EQ(flow().Paint_sz, 0);

  // With equilibrium off, painting does not start below seuillage percent of ECH, even inside
  // a ventricle region.
  ws->w.study.at(ws->w.study.instant, v->slice, v->row, v->col) = 0.25f * ws->w.options.ECH;
  ws->w.options.equilibrium = 0;
  const std::vector<uint16_t> labels = ws->seg.LPE;
  retouchPress(*ws, 4 * v->col, 4 * v->row);
  EXPECT_EQ(flow().Paint_reg, L);
  EXPECT_EQ(flow().Paint_no, 0);
  EXPECT_TRUE(ws->seg.LPE == labels);
  retouchRelease(*ws);
  ws->w.options.equilibrium = 1;
  retouchMove(*ws, 4 * v->col, 4 * v->row);
  EXPECT_EQ(flow().Paint_no, kClassLeft);
  closeRetouching(c);
  EXPECT_EQ(flow().retouche_on, 0);
  EXPECT_EQ(flow().UNDOseg_lev, 1);
}

// ---- locks ---------------------------------------------------------------------------------

TEST_F(Corrections, LockedSliceKeepsItsFrozenClassesThroughAnInstantLock) {
  const int L = largestOfClass(kClassLeft);
  ws->w.study.instant = 0;
  const auto v = voxelOf(L, 0);
  ASSERT_TRUE(v);
  // Another slice of the same region at instant 0.
  std::optional<SliceVoxel> other;
  for (int z = 0; z < NCZ() && !other; ++z)
    if (z != v->slice)
      for (int r = 0; r < kMatrix && !other; ++r)
        for (int col = 0; col < kMatrix && !other; ++col)
          if (labelAt(0, z, r, col) == L) other = SliceVoxel{z, r, col};
  ASSERT_TRUE(other);
  auto frozen = [&](const SliceVoxel& p) { return ws->seg.AFFECT[Segmentation::index(NCZ(), 0, p.slice, p.row, p.col)]; };
  auto c = ws->segmentation();
  auto [x, y] = pos(*v);

  ASSERT_TRUE(lockSliceAt(*ws, x, y));
  EXPECT_EQ(ws->seg.SegLock[0][v->slice], 1);
  EXPECT_EQ(ws->seg.SegLock[1][v->slice], 0);
  EXPECT_FALSE(lockSliceAt(*ws, x, y));
  for (int r = 0; r < kMatrix; ++r)
    for (int col = 0; col < kMatrix; ++col)
      ASSERT_EQ(frozen({v->slice, r, col}), ws->seg.CORR[labelAt(0, v->slice, r, col)]);

  // The locked slice ignores assignment, hovering and retouching.
  press(kPrimary, kNone, *v);
  EXPECT_EQ(ws->seg.CORR[L], kClassLeft);
  move(*v);
  EXPECT_EQ(flow().N_segsel, 0);
  EXPECT_FALSE(openRetouchingAt(*ws, x, y));

  // The region goes to the right ventricle from another slice; the locked one stays frozen.
  press(kPrimary, kNone, *other);
  EXPECT_EQ(ws->seg.CORR[L], kClassRight);
  EXPECT_EQ(frozen(*v), kClassLeft);

  toggleInstantLock(c);
  EXPECT_EQ(ws->seg.InstLock[0], 1);
  EXPECT_EQ(frozen(*other), kClassRight);
  EXPECT_EQ(frozen(*v), kClassLeft) << "a slice with its own lock is not frozen again";
  EXPECT_FALSE(unlockSliceAt(*ws, x, y)) << "not while the instant is locked";
  auto [ox, oy] = pos(*other);
  EXPECT_FALSE(lockSliceAt(*ws, ox, oy));
  press(kSecondary, kNone, *other);
  EXPECT_EQ(ws->seg.CORR[L], kClassRight) << "the locked instant ignores assignments";

  toggleInstantLock(c);
  EXPECT_EQ(ws->seg.InstLock[0], 0);
  EXPECT_EQ(ws->seg.SegLock[0][v->slice], 1);
  EXPECT_EQ(frozen(*v), kClassLeft);
  EXPECT_TRUE(unlockSliceAt(*ws, x, y));
  EXPECT_EQ(ws->seg.SegLock[0][v->slice], 0);
  press(kSecondary, kNone, *v);
  EXPECT_EQ(ws->seg.CORR[L], kClassLeft);

  // Ctrl + Shift clears every lock of the instant.
  ASSERT_TRUE(lockSliceAt(*ws, x, y));
  ASSERT_TRUE(lockSliceAt(*ws, ox, oy));
  ws->seg.InstLock[0] = 1;
  unlockInstant(c);
  EXPECT_EQ(ws->seg.InstLock[0], 0);
  EXPECT_EQ(ws->seg.SegLock[0][v->slice], 0);
  EXPECT_EQ(ws->seg.SegLock[0][other->slice], 0);
  expectConsistent("after the locks");
}

TEST_F(Corrections, FrozenClassesFollowTheThresholdRule) {
  ws->w.options.equilibrium = 0;
  const int L = largestOfClass(kClassLeft);
  const auto v = showLabel(L);
  ASSERT_TRUE(v);
  const int t = ws->w.study.instant;
  // The counts of one slice of the region brought below the threshold of its class.
  for (int r = 0; r < kMatrix; ++r)
    for (int col = 0; col < kMatrix; ++col)
      if (labelAt(t, v->slice, r, col) == L) ws->w.study.at(t, v->slice, r, col) = 0.2f * ws->seg.struct_max[kClassLeft];
  auto c = ws->segmentation();
  toggleInstantLock(c);
  long zeroed = 0;
  for (int z = 0; z < NCZ(); ++z)
    for (int r = 0; r < kMatrix; ++r)
      for (int col = 0; col < kMatrix; ++col) {
        const size_t i = Segmentation::index(NCZ(), t, z, r, col);
        int cls = ws->seg.CORR[ws->seg.LPE[i]];
        if (cls > 0 && static_cast<int>(ws->w.study.DATA[i]) * 400.0f / ws->seg.struct_max[cls] < ws->w.study.seuillage * 4.0f)
          cls = 0, ++zeroed;
        ASSERT_EQ(ws->seg.AFFECT[i], cls) << z << " " << r << " " << col;
      }
  EXPECT_GT(zeroed, 0);
}

// ---- the undo ring, driven by corrections ---------------------------------------------------

TEST_F(Corrections, ElevenChangesAllowTenUndosAndTheEleventhDoesNothing) {
  ASSERT_EQ(ws->w.options.UNDO_max, 10);
  const auto regions = regionsAtFirstInstant();
  ASSERT_GE(regions.size(), 11u);
  std::vector<Segmentation::ClassTable> before;
  for (int k = 0; k < 11; ++k) {
    before.push_back(ws->seg.CORR);
    assignElsewhere(regions[k], k);
    ASSERT_NE(ws->seg.CORR, before.back()) << k;
  }
  EXPECT_EQ(flow().UNDOseg_pos, 1);
  EXPECT_EQ(flow().UNDOseg_lev, 10);
  for (int k = 10; k >= 1; --k) {
    ASSERT_EQ(undo(), 1) << k;
    EXPECT_EQ(ws->seg.CORR, before[k]) << k;
  }
  EXPECT_FALSE(undoAvailable(flow()));
  const int redraws = platform.picturesChanged;
  EXPECT_EQ(undo(), 0);
  EXPECT_EQ(ws->seg.CORR, before[1]) << "the state before the first change is gone";
  EXPECT_EQ(platform.picturesChanged, redraws);
  expectConsistent("after ten undos");
}

TEST_F(Corrections, AfterWrappingToSlotZeroUndoReadsTheLastSlot) {
  const auto regions = regionsAtFirstInstant();
  ASSERT_GE(regions.size(), 10u);
  std::vector<Segmentation::ClassTable> before;
  for (int k = 0; k < 10; ++k) {
    before.push_back(ws->seg.CORR);
    assignElsewhere(regions[k], k);
  }
  ASSERT_EQ(flow().UNDOseg_pos, 0);
  ASSERT_EQ(undo(), 1);
  EXPECT_EQ(flow().UNDOseg_pos, 9);
  EXPECT_EQ(ws->seg.CORR, before[9]);
  // Three changes and three undos: the button is unavailable once they are used up.
  emptyUndo(flow());
  const auto start = ws->seg.CORR;
  for (int k = 3; k < 6; ++k) assignElsewhere(regions[k], k);
  for (int k = 0; k < 3; ++k) {
    EXPECT_TRUE(undoAvailable(flow()));
    ASSERT_EQ(undo(), 1);
  }
  EXPECT_FALSE(undoAvailable(flow()));
  EXPECT_EQ(ws->seg.CORR, start);
}

TEST_F(Corrections, UndoOfNewLabelsRecountsTheStatistics) {
  const Segmentation before = ws->seg;
  const int L = largestOfClass(kClassLeft);
  const auto v = showLabel(L);
  ASSERT_TRUE(v);
  ws->input.visu_contupdt = 1;
  press(kPrimary, kNone, *v);
  ws->input.visu_contupdt = 0;
  ASSERT_EQ(ws->seg.NREG, before.NREG + 1);
  // The new label also grows into its neighbourhood by a brush stroke.
  auto c = ws->segmentation();
  const auto [x, y] = pos(*v);
  ASSERT_TRUE(openRetouchingAt(*ws, x, y));
  flow().Paint_sz = kBrushMax;
  retouchPress(*ws, 4 * v->col, 4 * v->row);
  retouchMove(*ws, 4 * v->col + 24, 4 * v->row + 12);
  retouchRelease(*ws);
  closeRetouching(c);
  flow().segment_updt1 = flow().segment_updt2 = 0;
  ASSERT_EQ(undo(), 1);
  EXPECT_EQ(flow().segment_updt1 + flow().segment_updt2, 2);
  expectConsistent("stroke undone");
  ASSERT_EQ(undo(), 1);
  EXPECT_TRUE(ws->seg.LPE == before.LPE);
  EXPECT_EQ(ws->seg.CORR, before.CORR);
  EXPECT_EQ(ws->seg.NREG, before.NREG) << "the label issued after the snapshot is free again";
  expectConsistent("slice-only assignment undone");
}

}  // namespace
}  // namespace quorvel::testing
