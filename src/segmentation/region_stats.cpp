#include "segmentation/region_stats.h"

#include <algorithm>
#include <numeric>

namespace quorvel {

void ContactTable::clear() {
  for (std::vector<int>& r : rows_) r = {};
}

bool ContactTable::operator==(const ContactTable& o) const {
  for (int a = 0; a < kLabelSlots; ++a)
    if ((!rows_[a].empty() || !o.rows_[a].empty()) && !std::equal(row(a), row(a) + kLabelSlots, o.row(a)))
      return false;
  return true;
}

void ContactTable::relabel(int r, int n, int nreg, const int* sources) {
  if (!rows_[r].empty()) {
    int* from = rows_[r].data();
    if (n != 0) {
      int* to = row(n);
      for (int b = 0; b <= nreg; ++b) to[b] += from[b];
    }
    for (int b = 0; b <= nreg; ++b) from[b] = 0;
  }
  for (int a = 0; a <= nreg; ++a) {
    if (sources && sources[a] == 0 && a != n) continue;  // a row without sources is all zero
    if (rows_[a].empty()) continue;                      // never written: all zero
    int* line = rows_[a].data();
    line[n] += line[r];
    line[r] = 0;
  }
}

namespace {
constexpr int kFirstCounted = 1;
constexpr int kLastCounted = kMatrix - 2;  // the outermost ring of each slice is not counted
}  // namespace

void addSliceStatistics(Segmentation& seg, int Ninst, int NCZ, int t, int z, int sign) {
  const uint16_t* lpe = seg.LPE.data();
  const ptrdiff_t slice = kSliceVoxels;
  const ptrdiff_t instant = static_cast<ptrdiff_t>(NCZ) * kSliceVoxels;
  const ptrdiff_t toPrev = (t == 0 ? Ninst - 1 : -1) * instant;
  const ptrdiff_t toNext = (t == Ninst - 1 ? -(Ninst - 1) : 1) * instant;
  for (int row = kFirstCounted; row <= kLastCounted; ++row) {
    const ptrdiff_t base = static_cast<ptrdiff_t>(Segmentation::index(NCZ, t, z, row, 0));
    for (int col = kFirstCounted; col <= kLastCounted; ++col) {
      const ptrdiff_t i = base + col;
      const int L = lpe[i];
      if (L == 0) continue;
      seg.CARD[L] += sign;
      // At the first and last slice the missing neighbour counts as the voxel itself.
      const int spatial[6] = {z > 0 ? lpe[i - slice] : L, z < NCZ - 1 ? lpe[i + slice] : L,
                              lpe[i + kMatrix], lpe[i - kMatrix], lpe[i + 1], lpe[i - 1]};
      int* recoup = seg.RECOUP.row(L);
      int* recoupZ = seg.RECOUP_Z.row(L);
      for (int n : spatial) {
        recoup[n] += sign;
        recoupZ[n] += sign;
      }
      recoup[lpe[i + toPrev]] += sign;
      recoup[lpe[i + toNext]] += sign;
    }
  }
}

namespace {

// Steps of a full recount: sizes and contacts from the label volume.
void countRegions(int Ninst, int NCZ, Segmentation& seg) {
  seg.CARD.fill(0);
  seg.CLASS.fill(0);
  seg.RECOUP.clear();
  seg.RECOUP_Z.clear();
  for (int t = 0; t < Ninst; ++t)
    for (int z = 0; z < NCZ; ++z) addSliceStatistics(seg, Ninst, NCZ, t, z, 1);
}

void logRegionSizes(Segmentation& seg, TraceLog& log) {
  for (int l = 1; l <= seg.NREG; ++l) log.writef("******** C-REGION  %d   - CARD = %d\n", l, seg.CARD[l]);
  // Ranking by decreasing size, ties to the smaller label; empty labels are not ranked.
  seg.BLOK.fill(0);
  seg.ORDRE.fill(0);
  std::vector<int> labels;
  for (int l = 1; l <= seg.NREG; ++l)
    if (seg.CARD[l] > 0) labels.push_back(l);
  std::stable_sort(labels.begin(), labels.end(), [&](int a, int b) { return seg.CARD[a] > seg.CARD[b]; });
  for (size_t k = 0; k < labels.size(); ++k) {
    const int l = labels[k];
    seg.CLASS[k] = l;
    seg.ORDRE[l] = static_cast<int>(k);
    seg.BLOK[l] = 1;
    log.writef("******** REGION  %d   - CARD = %d  /  No = %d\n", static_cast<int>(k), seg.CARD[l], l);
  }
}

void recount(int Ninst, int NCZ, Segmentation& seg, TraceLog& log) {
  countRegions(Ninst, NCZ, seg);
  if (log.enabled()) logRegionSizes(seg, log);
}

}  // namespace

void RECOUP_CLASS(int prune, int Ninst, int NCZ, Segmentation& seg, TraceLog& log) {
  recount(Ninst, NCZ, seg, log);
  if (prune == 1) ELAGAGE(kPruneMinimum, seg, log);
}

void ELAGAGE(int minimum, Segmentation& seg, TraceLog& log) {
  const int nreg = seg.NREG;
  // Merges are applied to the tables at once (exactly as a recount would find them) and to the
  // voxels in one sweep at the end.
  std::array<int, kLabelSlots> mergedInto;
  std::iota(mergedInto.begin(), mergedInto.end(), 0);
  bool merged = false;
  for (int r = 1; r <= nreg; ++r) {
    if (seg.CARD[r] >= minimum) continue;
    int n = 0, most = 0;
    const int* touches = seg.RECOUP.row(r);
    for (int b = 1; b <= nreg; ++b)
      if (b != r && touches[b] > most) most = touches[b], n = b;
    seg.RECOUP.relabel(r, n, nreg, seg.CARD.data());
    seg.RECOUP_Z.relabel(r, n, nreg, seg.CARD.data());
    if (n != 0) seg.CARD[n] += seg.CARD[r];
    seg.CARD[r] = 0;
    mergedInto[r] = n;
    merged = true;
    if (log.enabled()) logRegionSizes(seg, log);
  }
  if (!merged) return;
  // A label merged into one that was merged later follows it.
  std::array<uint16_t, kLabelSlots> finalLabel{};
  for (int l = 0; l <= nreg; ++l) {
    int f = l;
    while (mergedInto[f] != f) f = mergedInto[f];
    finalLabel[l] = static_cast<uint16_t>(f);
  }
  for (uint16_t& v : seg.LPE) v = finalLabel[v];
  seg.labelsChanged();
}

}  // namespace quorvel
