#pragma once
// Header reader of IDB files: one big-endian file with a fixed binary header, then per instant
// 64 slices of 64 x 64 unsigned 16-bit values. The voxels are read by the loader.
#include <filesystem>
#include <string>

#include "base/file_source.h"
#include "base/options.h"
#include "base/refusal.h"
#include "study/study_record.h"

namespace quorvel {

// Byte offsets of the IDB layout.
inline constexpr size_t kIdbNameOffset = 16;
inline constexpr size_t kIdbSexOffset = 104;
inline constexpr size_t kIdbInstantsOffset = 1739;
inline constexpr size_t kIdbCycleOffset = 1748;
inline constexpr size_t kIdbPixelOffset = 2204;
inline constexpr size_t kIdbVoxelOffset = 2604;
inline constexpr int kIdbSlices = 64;

// Bytes an IDB file of n instants needs: its header and every voxel.
constexpr uint64_t idbFileBytes(int instants) {
  return kIdbVoxelOffset + uint64_t(instants) * kIdbSlices * kSliceVoxels * 2;
}

// Reads the header of path into s. Refused, with s unchanged, when the instant count is not 8 or
// 16, the file is shorter than its voxels or the pixel size is not 0.1 to 50 mm. A duration of
// instant that gives no heart rate of 30 to 240 bpm leaves HEART_RATE 0, with the default rate.
Status LOAD_IDB_DATA(const FileSource& files, const std::filesystem::path& path, StudyRecord& s, const Options& opt);
inline Status LOAD_IDB_DATA(const std::filesystem::path& path, StudyRecord& s, const Options& opt) {
  return LOAD_IDB_DATA(diskFiles(), path, s, opt);
}

// Appends c to name when it is a space or a capital letter; anything else is dropped.
void BUILD_PATNAME(std::string& name, char c);

}  // namespace quorvel
