#include "segmentation/undo.h"

#include <cstdio>
#include <fstream>
#include <vector>

#include "base/byte_reader.h"

namespace quorvel {

namespace {

// Fixed offsets of a snapshot file; 4000..39999 is a hole.
constexpr size_t kCorrOffset = 0;
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

}  // namespace

std::filesystem::path undoSlotPath(const std::filesystem::path& appFolder, int slot) {
  char name[32];
  std::snprintf(name, sizeof name, "undo_seg_%03d", slot);
  return appFolder / "temp" / name;
}

void EMPTY_UNDO(WorkflowState& flow) { flow.UNDOseg_pos = flow.UNDOseg_lev = 0; }

int SAVE_UNDO(int ring, const std::filesystem::path& appFolder, const Options& opt, const Study& s,
              const SliceLimits& lim, WorkflowState& flow, const Segmentation& seg) {
  if (ring != kUndoSegmentationRing || opt.UNDO_max <= 0) return 0;
  const size_t labels = static_cast<size_t>(s.Ninst) * s.NCZ * kSliceVoxels;
  if (seg.LPE.size() < labels) return 0;
  std::vector<uint8_t> bytes(kLabelsOffset + 2 * labels, 0);
  putTable(bytes, kCorrOffset, seg.CORR.data(), kLabelSlots);
  putTable(bytes, kLimDSupOffset, lim.limD_sup.data(), kMaxInstants);
  putTable(bytes, kLimDInfOffset, lim.limD_inf.data(), kMaxInstants);
  putTable(bytes, kLimGSupOffset, lim.limG_sup.data(), kMaxInstants);
  putTable(bytes, kLimGInfOffset, lim.limG_inf.data(), kMaxInstants);
  for (size_t i = 0; i < labels; ++i) {
    bytes[kLabelsOffset + 2 * i] = static_cast<uint8_t>(seg.LPE[i]);
    bytes[kLabelsOffset + 2 * i + 1] = static_cast<uint8_t>(seg.LPE[i] >> 8);
  }
  std::ofstream out(undoSlotPath(appFolder, flow.UNDOseg_pos), std::ios::binary | std::ios::trunc);
  if (!out) return 0;
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) return 0;
  flow.UNDOseg_pos = (flow.UNDOseg_pos + 1) % opt.UNDO_max;
  flow.UNDOseg_lev = std::min(flow.UNDOseg_lev + 1, opt.UNDO_max);
  return 1;
}

int LOAD_UNDO(int ring, const std::filesystem::path& appFolder, const Options& opt, const Study& s,
              SliceLimits& lim, WorkflowState& flow, Segmentation& seg) {
  if (ring != kUndoSegmentationRing || flow.UNDOseg_lev <= 0 || opt.UNDO_max <= 0) return 0;
  const int slot = (flow.UNDOseg_pos - 1 + opt.UNDO_max) % opt.UNDO_max;
  const auto bytes = readWholeFile(undoSlotPath(appFolder, slot));
  if (!bytes) return 0;
  const size_t labels = static_cast<size_t>(s.Ninst) * s.NCZ * kSliceVoxels;
  const ByteReader in(*bytes);
  // A snapshot of another study or a cut file restores nothing.
  if (!in.has(kLabelsOffset, 2 * labels)) return 0;
  Segmentation::ClassTable corr{};
  SliceLimits restored = lim;
  if (!getTable(in, kCorrOffset, corr.data(), kLabelSlots) ||
      !getTable(in, kLimDSupOffset, restored.limD_sup.data(), kMaxInstants) ||
      !getTable(in, kLimDInfOffset, restored.limD_inf.data(), kMaxInstants) ||
      !getTable(in, kLimGSupOffset, restored.limG_sup.data(), kMaxInstants) ||
      !getTable(in, kLimGInfOffset, restored.limG_inf.data(), kMaxInstants))
    return 0;
  std::vector<uint16_t> lpe(labels);
  for (size_t i = 0; i < labels; ++i) lpe[i] = *in.u16le(kLabelsOffset + 2 * i);
  flow.UNDOseg_pos = slot;
  --flow.UNDOseg_lev;
  seg.CORR = corr;
  lim = restored;
  seg.LPE = std::move(lpe);
  return 1;
}

}  // namespace quorvel
