#pragma once
// From "open an acquisition" to a study ready for re-orientation: file chooser, header reader,
// per-study reset, voxel extraction into the 64 x 64 working matrix, rescale, cycle rotation.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "base/file_source.h"
#include "base/options.h"
#include "base/platform.h"
#include "base/refusal.h"
#include "base/trace_log.h"
#include "study/per_study_settings.h"
#include "study/view_data.h"
#include "study/study_record.h"

namespace quorvel {

// What one open study needs around it.
struct StudyWorkspace {
  Study study;
  PerStudySettings settings;
  Options options;
  LongAxisProjection projection;
};

// The filters of the open-file dialog, numbered 1 DICOM, 2 IDB, 3 Interfile (header or data
// file), 4 IMA, and 5 every file, whose format comes from its extension.
std::vector<FileFilter> acquisitionFilters(int LANGUE);
inline constexpr int kFilterAllFiles = 5;

// The filter a user would pick for a file, by its extension: .idb IDB; .img, .hdr, .h33, .i33
// Interfile (header or data file); .ima IMA; anything else DICOM.
int acquisitionFormatOf(const std::filesystem::path& path);

// Reads the header of a file given with its filter (1 or 4 DICOM, 2 IDB, 3 Interfile, 5 by its
// extension) into s; the Interfile reader fills DATA too.
Status readAcquisitionHeader(const FileSource& files, const std::filesystem::path& path, int filter, Study& s,
                             Options& opt, TraceLog& log, Notices& notices);

// Reads the voxels of chemin_data into DATA and prepares them (slice range, extraction, slice
// reversal for the patient orientation, interval, cycle rotation, long-axis projection).
// rescale 1 applies the DICOM rescale and picks the start slice; 0 is the re-crop of stage 1.
// Refused, with w unchanged, when the file can no longer be read as its header said or holds no
// counts.
Status LOAD_TOMO_DATA(const FileSource& files, int rescale, StudyWorkspace& w, TraceLog& log, Notices& notices);
inline Status LOAD_TOMO_DATA(int rescale, StudyWorkspace& w, TraceLog& log, Notices& notices) {
  return LOAD_TOMO_DATA(diskFiles(), rescale, w, log, notices);
}

// The open road without its dialogs: header, per-study reset, voxels. w is replaced only when the
// whole file was accepted; a refusal leaves it exactly as it was. files gives the bytes: the disk,
// or files held in memory.
Status readAcquisition(const FileSource& files, const std::filesystem::path& path, int filter, StudyWorkspace& w,
                       TraceLog& log, Notices& notices);
inline Status readAcquisition(const std::filesystem::path& path, int filter, StudyWorkspace& w, TraceLog& log,
                              Notices& notices) {
  return readAcquisition(diskFiles(), path, filter, w, log, notices);
}
// The same where nobody reads the notices (batch work, tests).
inline Status readAcquisition(const std::filesystem::path& path, int filter, StudyWorkspace& w, TraceLog& log) {
  Notices ignored;
  return readAcquisition(path, filter, w, log, ignored);
}

// The pixel block of a file (the bytes from OFFSET_LEC on), read a piece at a time so that a
// large acquisition is never held whole in memory.
class PixelBlock {
 public:
  // A block already in memory.
  explicit PixelBlock(std::span<const uint8_t> bytes);
  // count bytes of the file from offset, taken from memory when files holds it there, else read
  // from the disk; every read fails when the file cannot be opened.
  PixelBlock(const FileSource& files, const std::filesystem::path& path, uint64_t offset, uint64_t count);
  ~PixelBlock();
  PixelBlock(const PixelBlock&) = delete;
  PixelBlock& operator=(const PixelBlock&) = delete;

  uint64_t size() const { return size_; }
  // Copies count bytes from offset of the block into dst; false when they are not all there.
  bool read(uint64_t offset, size_t count, uint8_t* dst) const;

 private:
  std::span<const uint8_t> bytes_;
  std::FILE* file_ = nullptr;
  uint64_t offset_ = 0, size_ = 0;
};

// Steps of LOAD_TOMO_DATA, exposed for the tests.
// EXTRACT_TOMO_DATA reads the pixel block into s.DATA: re-binning, short-axis transposition, crop
// or pad into 64 x 64 around the count centroid (countCentreSlice then holds its slice), rescale
// and start slice. The file's values go straight into the working matrix, in the file's byte
// order. Refused when the block is shorter than the header says.
Status EXTRACT_TOMO_DATA(int rescale, const PixelBlock& pixels, Study& s, const Options& opt, TraceLog& log);
// IDB slice range: czmin..czmax are the first and last slices of instant 0 holding a count.
void EVAL_NCZ(std::span<const uint8_t> pixels, StudyRecord& s);
// Rotates the cycle so that the instant of largest total count is instant 0, unless the first
// instant's total lies at least halfway up from the least total to the largest; sets Inst_telesys.
void DATA_TRANSLATION(Study& s);
// The total count of each of s.Ninst instants of counts laid out as s.DATA is (empty when counts
// is shorter), and the instant DATA_TRANSLATION would start the cycle at (0 when there is none).
std::vector<double> instantTotals(const std::vector<float>& counts, const Study& s);
int cycleStartInstant(const std::vector<float>& counts, const Study& s);

}  // namespace quorvel
