#include "segmentation/undo.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <span>
#include <system_error>
#include <vector>

#include "base/byte_reader.h"
#include "segmentation/classification.h"
#include "segmentation/region_stats.h"

namespace quorvel {

namespace {

constexpr char kUndoFilePrefix[] = "undo_seg_";  // the ring's files in temp/: undo_seg_000, ...

// Fixed offsets of a snapshot file; 4000..39999 is a hole.
constexpr size_t kCorrOffset = 0;
constexpr size_t kCorrBytes = 4 * kLabelSlots;
constexpr size_t kLimitsOffset = 40000;
constexpr size_t kLimDSupOffset = 40000;
constexpr size_t kLimDInfOffset = 40100;
constexpr size_t kLimGSupOffset = 40200;
constexpr size_t kLimGInfOffset = 40300;
constexpr size_t kLabelsOffset = 40400;

void putTable(std::vector<uint8_t>& out, size_t offset, const int* values, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const auto v = static_cast<uint32_t>(values[i]);
    for (int b = 0; b < 4; ++b) out[offset + 4 * i + b] = static_cast<uint8_t>(v >> (8 * b));
  }
}

bool getTable(const ByteReader& in, size_t offset, int* values, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const auto v = in.u32le(offset + 4 * i);
    if (!v) return false;
    values[i] = static_cast<int>(*v);
  }
  return true;
}

size_t labelCount(const Study& s) { return static_cast<size_t>(s.Ninst) * s.NCZ * kSliceVoxels; }

// The labels as little-endian bytes: the volume itself on a little-endian machine, else a copy.
std::span<const uint8_t> labelBytes(const std::vector<uint16_t>& lpe, size_t count, std::vector<uint8_t>& scratch) {
  if constexpr (std::endian::native == std::endian::little) {
    return {reinterpret_cast<const uint8_t*>(lpe.data()), 2 * count};
  } else {
    scratch.resize(2 * count);
    for (size_t i = 0; i < count; ++i) {
      scratch[2 * i] = static_cast<uint8_t>(lpe[i]);
      scratch[2 * i + 1] = static_cast<uint8_t>(lpe[i] >> 8);
    }
    return scratch;
  }
}

// The file is complete before it takes the slot's name, so a failed write never replaces the
// snapshot the slot held. The old snapshot is moved aside rather than renamed over: replacing an
// existing file by rename makes ext4 write the new one out at once, which costs several ms per
// press. A crash between the two renames leaves no slot file, which undo refuses.
bool writeSnapshot(const std::filesystem::path& slot, std::span<const uint8_t> head, std::span<const uint8_t> limits,
                   std::span<const uint8_t> labels) {
  namespace fs = std::filesystem;
  fs::path tmp = slot, old = slot;
  tmp += ".tmp";
  old += ".old";
  std::error_code ec;
  bool written = false;
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
    out.seekp(static_cast<std::streamoff>(kLimitsOffset));
    out.write(reinterpret_cast<const char*>(limits.data()), static_cast<std::streamsize>(limits.size()));
    out.write(reinterpret_cast<const char*>(labels.data()), static_cast<std::streamsize>(labels.size()));
    out.close();
    written = !out.fail();
  }
  bool movedAside = false;
  if (written) {
    const fs::file_status st = fs::symlink_status(slot, ec);
    if (fs::exists(st)) {
      // Anything but a snapshot file in the slot's place is left alone and the snapshot skipped.
      written = fs::is_regular_file(st);
      if (written) {
        fs::rename(slot, old, ec);
        written = movedAside = !ec;
      }
    }
  }
  if (written) {
    fs::rename(tmp, slot, ec);
    if (!ec) {
      if (movedAside) fs::remove(old, ec);
      return true;
    }
    if (movedAside) fs::rename(old, slot, ec);
  }
  fs::remove(tmp, ec);
  return false;
}

}  // namespace

std::filesystem::path undoSlotPath(const std::filesystem::path& appFolder, int slot) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%03d", kUndoFilePrefix, slot);
  return appFolder / "temp" / name;
}

void removeUndoFiles(const std::filesystem::path& appFolder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::vector<fs::path> snapshots;  // collected first: removing while iterating is unspecified
  for (fs::directory_iterator it(appFolder / "temp", ec), end; !ec && it != end; it.increment(ec))
    if (it->path().filename().string().rfind(kUndoFilePrefix, 0) == 0) snapshots.push_back(it->path());
  for (const fs::path& p : snapshots) fs::remove(p, ec);
}

void emptyUndo(WorkflowState& flow) {
  flow.UNDOseg_pos = flow.UNDOseg_lev = 0;
  flow.undoLabelsIssued.clear();
}

int SAVE_UNDO(int ring, const std::filesystem::path& appFolder, const Options& opt, const Study& s,
              const SliceLimits& lim, WorkflowState& flow, const Segmentation& seg) {
  if (ring != kUndoSegmentationRing || opt.UNDO_max <= 0 || opt.UNDO_max > 1000) return 0;
  const size_t labels = labelCount(s);
  if (labels == 0 || seg.LPE.size() < labels) return 0;
  // A position left outside the ring (UNDO_max lowered since) starts again at slot 0.
  const int pos = flow.UNDOseg_pos >= 0 && flow.UNDOseg_pos < opt.UNDO_max ? flow.UNDOseg_pos : 0;
  std::vector<uint8_t> head(kCorrBytes);
  putTable(head, kCorrOffset, seg.CORR.data(), kLabelSlots);
  std::vector<uint8_t> limits(kLabelsOffset - kLimitsOffset, 0);
  putTable(limits, kLimDSupOffset - kLimitsOffset, lim.limD_sup.data(), kMaxInstants);
  putTable(limits, kLimDInfOffset - kLimitsOffset, lim.limD_inf.data(), kMaxInstants);
  putTable(limits, kLimGSupOffset - kLimitsOffset, lim.limG_sup.data(), kMaxInstants);
  putTable(limits, kLimGInfOffset - kLimitsOffset, lim.limG_inf.data(), kMaxInstants);
  std::vector<uint8_t> scratch;
  if (!writeSnapshot(undoSlotPath(appFolder, pos), head, limits, labelBytes(seg.LPE, labels, scratch))) return 0;
  if (flow.undoLabelsIssued.size() != static_cast<size_t>(opt.UNDO_max)) flow.undoLabelsIssued.assign(opt.UNDO_max, 0);
  flow.undoLabelsIssued[pos] = seg.NREG;
  flow.UNDOseg_pos = (pos + 1) % opt.UNDO_max;
  flow.UNDOseg_lev = std::clamp(flow.UNDOseg_lev + 1, 1, opt.UNDO_max);
  return 1;
}

int LOAD_UNDO(int ring, const std::filesystem::path& appFolder, const Options& opt, const Study& s,
              SliceLimits& lim, WorkflowState& flow, Segmentation& seg) {
  if (ring != kUndoSegmentationRing || flow.UNDOseg_lev <= 0 || opt.UNDO_max <= 0 || opt.UNDO_max > 1000) return 0;
  const int slot = ((flow.UNDOseg_pos - 1) % opt.UNDO_max + opt.UNDO_max) % opt.UNDO_max;
  const auto bytes = readWholeFile(undoSlotPath(appFolder, slot));
  if (!bytes) return 0;
  const size_t labels = labelCount(s);
  const ByteReader in(*bytes);
  // A cut file or the snapshot of another study restores nothing.
  if (labels == 0 || bytes->size() != kLabelsOffset + 2 * labels) return 0;
  Segmentation::ClassTable corr{};
  SliceLimits restored = lim;
  if (!getTable(in, kCorrOffset, corr.data(), kLabelSlots) ||
      !getTable(in, kLimDSupOffset, restored.limD_sup.data(), kMaxInstants) ||
      !getTable(in, kLimDInfOffset, restored.limD_inf.data(), kMaxInstants) ||
      !getTable(in, kLimGSupOffset, restored.limG_sup.data(), kMaxInstants) ||
      !getTable(in, kLimGInfOffset, restored.limG_inf.data(), kMaxInstants))
    return 0;
  std::vector<uint16_t> lpe(labels);
  const uint8_t* src = bytes->data() + kLabelsOffset;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(lpe.data(), src, 2 * labels);
  } else {
    for (size_t i = 0; i < labels; ++i) lpe[i] = static_cast<uint16_t>(src[2 * i] | (src[2 * i + 1] << 8));
  }
  const int top = *std::max_element(lpe.begin(), lpe.end());
  if (top > kMaxLabels) return 0;  // every per-label table stops at kMaxLabels
  flow.UNDOseg_pos = slot;
  --flow.UNDOseg_lev;
  seg.CORR = corr;
  lim = restored;
  seg.LPE = std::move(lpe);
  seg.labelsChanged();
  // The labels issued since the snapshot are given back, so that slice-only assignments undone do
  // not use up the label capacity; their classes go with them.
  const int issued = static_cast<size_t>(slot) < flow.undoLabelsIssued.size() ? flow.undoLabelsIssued[slot] : 0;
  seg.NREG = issued > 0 ? std::max(issued, top) : std::max(seg.NREG, top);
  std::fill(seg.CORR.begin() + seg.NREG + 1, seg.CORR.end(), kClassBackground);
  return 1;
}

int SAVE_UNDO(int ring, SegmentationContext& c) {
  return SAVE_UNDO(ring, c.appFolder, c.w.options, c.w.study, c.w.settings.limits, c.w.settings.flow, c.seg);
}

int LOAD_UNDO(int ring, SegmentationContext& c) {
  Study& s = c.w.study;
  if (LOAD_UNDO(ring, c.appFolder, c.w.options, s, c.w.settings.limits, c.w.settings.flow, c.seg) == 0) return 0;
  // The snapshot holds no statistics; the enclosed-region rule reads them, so they follow the labels.
  RECOUP_CLASS(0, s.Ninst, s.NCZ, c.seg, c.log);
  if (s.DATA.size() == c.seg.LPE.size()) EVAL_STRUC_MAX(s, c.w.settings.limits, c.seg);
  c.w.settings.flow.paintPending = 0;
  c.w.settings.flow.segment_updt1 = c.w.settings.flow.segment_updt2 = 1;
  c.platform.pictureChanged(View::Segmentation);
  return 1;
}

}  // namespace quorvel
