#pragma once
// From "open an acquisition" to a study ready for re-orientation: file chooser, header reader,
// per-study reset, voxel extraction into the 64 x 64 working matrix, rescale, cycle rotation.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>

#include "base/options.h"
#include "base/platform.h"
#include "base/trace_log.h"
#include "study/per_study_settings.h"
#include "study/segment_view.h"
#include "study/study_record.h"

namespace quorvel {

// What one open study needs around it; the desktop's workstation owns one.
struct StudyWorkspace {
  Study study;
  PerStudySettings settings;
  Options options;
  SegmentView view;
};

// Asks for a file (four filters, the one numbered Defaut_format preselected) and reads its header
// into s. Returns 1 when a file was chosen and accepted, 0 on cancel or refusal.
int LOAD_ACQ_FILE(Study& s, Options& opt, Platform& platform, TraceLog& log);
// The same for a path given directly (command line, tests): filter 1 or 4 DICOM, 2 IDB, 3 Interfile.
int LOAD_ACQ_PATH(const std::filesystem::path& path, int filter, Study& s, Options& opt, Platform& platform,
                  TraceLog& log);

// Reads the voxels of chemin_data into DATA and prepares them (slice range, extraction, slice
// reversal for the patient orientation, interval, cycle rotation, long-axis projection).
// rescale 1 applies the DICOM rescale and picks the start slice; 0 is the re-crop of stage 1.
// Returns 1, or 0 when the file can no longer be read as its header said or holds no counts
// (message shown, w unchanged).
int LOAD_TOMO_DATA(int rescale, StudyWorkspace& w, Platform& platform, TraceLog& log);

// The pixel block of a file (the bytes from OFFSET_LEC on), read a piece at a time so that a
// large acquisition is never held whole in memory.
class PixelBlock {
 public:
  // A block already in memory.
  explicit PixelBlock(std::span<const uint8_t> bytes);
  // count bytes of the file from offset; every read fails when the file cannot be opened.
  PixelBlock(const std::filesystem::path& path, uint64_t offset, uint64_t count);
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
// or pad into 64 x 64 around the count centroid, rescale and start slice. The file's values go
// straight into the working matrix, in the file's byte order. Returns false, with its message
// shown, when the block is shorter than the header says.
bool EXTRACT_TOMO_DATA(int rescale, const PixelBlock& pixels, Study& s, const Options& opt, SegmentView& view,
                       Platform& platform, TraceLog& log);
// IDB slice range: czmin..czmax are the first and last slices of instant 0 holding a count.
void EVAL_NCZ(std::span<const uint8_t> pixels, StudyRecord& s);
// Rotates the cycle so that the instant of largest total count is instant 0; sets Inst_telesys.
void DATA_TRANSLATION(Study& s);

// The open command: reads the chosen file into a scratch study and, only when the header and
// every voxel were accepted, replaces the study in memory and resets the per-study settings.
// Returns 1 when a new study is loaded; 0 leaves the previous study exactly as it was.
int OPEN_ACQUISITION(StudyWorkspace& w, Platform& platform, TraceLog& log);
int OPEN_ACQUISITION_PATH(const std::filesystem::path& path, int filter, StudyWorkspace& w, Platform& platform,
                          TraceLog& log);

}  // namespace quorvel
