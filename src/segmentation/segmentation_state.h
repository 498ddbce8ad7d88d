#pragma once
// The label volume of the 4D watershed and the per-label tables every later stage reads.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/capacities.h"
#include "base/generation.h"

namespace quorvel {

inline constexpr int kLabelSlots = kMaxLabels + 1;  // label 0 is the background
inline constexpr int kStructMaxEntries = 20;
inline constexpr int kPruneMinimum = 32;     // regions with fewer counted voxels are merged away
inline constexpr int kContactThreshold = 12; // more contacts than this join two regions of a ventricle

// Classes held in CORR.
enum RegionClass : int {
  kClassBackground = 0,
  kClassLeft = 1,   // "G"
  kClassRight = 2,  // "D"
  kClassOther = 3,
  kClassExcludedConnected = 7,
  kClassExcludedRegion = 13,
};

// Square int32 table indexed [a][b] over all label slots. Only the rows of labels that were
// written hold memory (a flooding issues a few hundred labels of the 999 slots); the others read as
// zeros, with the full length, so a row pointer is valid for every label.
class ContactTable {
 public:
  int& operator()(int a, int b) { return row(a)[b]; }
  int operator()(int a, int b) const { return row(a)[b]; }
  const int* row(int a) const { return rows_[a].empty() ? kZeroRow.data() : rows_[a].data(); }
  int* row(int a) {
    if (rows_[a].empty()) rows_[a].assign(kLabelSlots, 0);
    return rows_[a].data();
  }
  void clear();
  // The table a full recount gives once every voxel of label r carries label n instead
  // (n = 0: r's voxels become background and stop counting as sources). Rows a with
  // sources[a] == 0 (no counted voxel) are known to be empty and skipped when sources is given.
  void relabel(int r, int n, int nreg, const int* sources = nullptr);
  bool operator==(const ContactTable& o) const;

 private:
  static constexpr std::array<int, kLabelSlots> kZeroRow{};
  std::vector<std::vector<int>> rows_ = std::vector<std::vector<int>>(kLabelSlots);
};

struct Segmentation {
  // Labels, same index as DATA: ((t * NCZ + z) * 64 + row) * 64 + col. 0 = no region.
  std::vector<uint16_t> LPE;
  int NREG = 0;  // labels issued; never renumbered, at most kMaxLabels

  using ClassTable = std::array<int, kLabelSlots>;
  ClassTable CORR{};
  std::array<int, kLabelSlots> CARD{};
  // Size ranking, written to the log only.
  std::array<int, kLabelSlots> CLASS{}, ORDRE{}, BLOK{};
  // RECOUP: contacts over the 8 neighbours (6 spatial, previous and next instant).
  ContactTable RECOUP;
  // RECOUP_Z: contacts over the 6 spatial neighbours, summed over all instants. Only the sum
  // is ever read, so the per-instant tables are not kept.
  ContactTable RECOUP_Z;

  std::array<float, kStructMaxEntries> struct_max{};

  // Locks: every kept slice of every instant has its own entry.
  std::array<std::array<int, kMaxSlices>, kMaxInstants> SegLock{};
  std::array<int, kMaxInstants> InstLock{};
  // Frozen class of each voxel of a locked slice, same index as LPE.
  std::vector<uint8_t> AFFECT;

  // Generations: of LPE and AFFECT (taken again by labelsChanged after every change of either),
  // and of the counts the labels were flooded on (countsGeneration of the study then).
  uint64_t labelsGeneration = nextGeneration();
  uint64_t segmentedCounts = 0;
  void labelsChanged() { labelsGeneration = nextGeneration(); }

  static size_t index(int NCZ, int t, int z, int row, int col) {
    return ((static_cast<size_t>(t) * NCZ + z) * kMatrix + row) * kMatrix + col;
  }
};

}  // namespace quorvel
