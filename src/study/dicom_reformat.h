#pragma once
// The short-axis folder reformat: a folder of single-frame DICOM slice files (one per instant and
// slice, placed by their instance number) gathered into one multi-frame file the ordinary loading
// opens. Variant 1 takes signed little-endian slices and re-slices them so that the rows of the
// short-axis images become the slices; variant 2 takes unsigned big-endian slices with one
// rescale slope each and scales them to the largest.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/options.h"
#include "base/platform.h"
#include "base/refusal.h"
#include "base/trace_log.h"
#include "study/study_record.h"

namespace quorvel {

inline constexpr int kMaxReformatFrames = 2048;

// The gathered slices.
struct RdsaVolume {
  int Ninst = 0, NCZ = 0;
  int OrImSize_H = 0, OrImSize_V = 0;  // rows, columns
  std::vector<float> RDSA_float;       // frame after frame, rows of OrImSize_V values
  std::vector<float> rdsa_rescale;     // the slope read with each frame (1 when the file has none)
  std::vector<uint8_t> RDSA_head;      // the first slice file's bytes up to its pixel values
  TransferSyntax syntax = kSyntaxUnknown;  // of the kept header
  int files = 0;                       // slice files taken
  int placed = 0;                      // frames of the volume they filled
  std::vector<std::string> skipped;    // files left out: not DICOM, unreadable, numbered outside the volume

  size_t frameSize() const { return static_cast<size_t>(OrImSize_H) * OrImSize_V; }
  float& at(int frame, int row, int col) {
    return RDSA_float[static_cast<size_t>(frame) * frameSize() + static_cast<size_t>(row) * OrImSize_V + col];
  }
};

// Reads every entry of folder (in the order the system lists them) that opens and holds "DICM":
// the first one's header is kept; each file's last rows x columns values go to frame
// instance_nb - 1 (variant 2: rows upside down). Ninst is the files' Number of Time Slots, else
// DEFAULT_ninst; NCZ their Number of Slices, else the count of slice files / Ninst. Progress
// goes to onFile(files taken, frames expected); false from it cancels. Files whose image size
// differs from the first one's, whose image runs past its Pixel Data element, multi-frame files
// and the output file (when it lies in the folder) are skipped. nullopt (with why) when no slice
// file was found, when two carry one instance number, or when none falls inside the volume.
std::optional<RdsaVolume> RDSA_EXTRACT_DATA(const std::filesystem::path& folder, int variant, const Options& opt,
                                            TraceLog& log, Refusal& why,
                                            const std::function<bool(int, int)>& onFile = {},
                                            const std::filesystem::path& output = {});

// The new volume of every instant as unsigned 16-bit values (truncated; negative values and
// values above 65535 clamped), frame after frame:
// variant 1: with m = (rows - NCZ) / 2, new slice m + NCZ - 1 - x, row m + z takes source slice z,
// row x for m <= x < m + NCZ (the rest 0); variant 2: new slice z, row x = source slice NCZ - 1 - z,
// row rows - 1 - x scaled by its slope x 0.25 / the largest slope, slices 0..4 and the last 4 zero.
std::vector<uint16_t> RDSA_CLOSE_FILE(const RdsaVolume& v, int variant);

// The kept header made to describe the reformatted file: Number of Frames, Number of Time Slots
// and Number of Slices set (inserted when missing), Pixel Representation unsigned, the Pixel Data
// length that of the frames; group lengths follow. Empty when the header cannot be walked.
std::vector<uint8_t> reformattedHeader(const RdsaVolume& v);

// The whole file: header, then the frames in the header's byte order.
std::vector<uint8_t> reformattedFile(const RdsaVolume& v, int variant);

// Reads the folder and writes out (through a temporary file renamed into place). Refused with the
// reason when there is no slice file or out cannot be written.
Status reformatFolder(const std::filesystem::path& folder, const std::filesystem::path& out, int variant,
                      const Options& opt, TraceLog& log, const std::function<bool(int, int)>& onFile = {});

// The system's folder chooser titled prompt; the path when a non-empty one was chosen.
std::optional<std::string> BrowseDir(Platform& platform, const std::string& prompt);
// The reminder, then the save dialog for the output; ".dcm" appended when the name lacks it.
std::optional<std::string> SAVE_DCM_FILE(Platform& platform, int LANGUE);

// The interactive reformat: folder, output, progress, the file written. Returns the written path
// (the caller opens it as the new study), or the refusal (Cancelled when the user cancelled).
struct ReformatOutcome {
  Status status;
  std::string path;
};
ReformatOutcome DICOM_REFORMAT(Platform& platform, const Options& opt, int variant, TraceLog& log);

}  // namespace quorvel
