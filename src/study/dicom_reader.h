#pragma once
// Header reader of gated tomographic DICOM files (also used for IMA files): a flat element
// walker over implicit VR little endian, explicit VR little endian and explicit VR big endian.
// It does not read the pixels; it records where they start (OFFSET_LEC).
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_source.h"
#include "base/options.h"
#include "base/refusal.h"
#include "base/trace_log.h"
#include "study/study_record.h"

namespace quorvel {

// Why a walk or a file was refused.
enum class DicomRefusal {
  None,
  NotDicom,        // no "DICM", absurd dimensions, pixel data outside the file
  Undecodable,     // unsupported transfer syntax, or an element running past the end
  TimeSlots,       // Number of Time Slots other than 8 or 16
  TooManySlices,
  BadVoxelSize,    // missing, not a number, or outside 0.1..50 mm
  BadRescale,      // a rescale slope or intercept that is not a sane finite number
  BadFrameCount,   // Number of Frames not an integer, or not time slots x slices
  NeedMore,        // the walk needs bytes beyond the prefix it was given
};

// What the walk noticed that the user is told about once the walk is over.
struct DicomWalkNotes {
  int timeSlotsFixed = 0;  // Number of Time Slots that replaced the default instant count
  std::string badHeartRate;  // the Heart Rate text when it was not an integer string or not usable
  std::string frames;        // the Number of Frames text, for the refusal message
  int slices = -1;           // Number of Slices, when given
  uint64_t pixelLength = 0;  // bytes the pixel data element says it holds
  long long frameCount = 0;  // Number of Frames, 0 when not given
};

// Reads the header of path into s and opt, only when the whole file, pixel data included, is
// consistent (opt.DEFAULT_ninst may change: Number of Time Slots). What the user should read even
// then (instant count corrected, heart rate unusable) goes to notices.
Status LOAD_DCM_DATA(const FileSource& files, const std::filesystem::path& path, StudyRecord& s, Options& opt,
                     TraceLog& log, Notices& notices);
inline Status LOAD_DCM_DATA(const std::filesystem::path& path, StudyRecord& s, Options& opt, TraceLog& log,
                            Notices& notices) {
  return LOAD_DCM_DATA(diskFiles(), path, s, opt, log, notices);
}

// The element walk over the first bytes of a file of fileSize bytes. Returns None when the pixel
// data was found, NeedMore when the prefix ended before it (call again with a longer prefix).
DicomRefusal GET_DICOM_INFO(std::span<const uint8_t> prefix, uint64_t fileSize, StudyRecord& s, Options& opt,
                            DicomWalkNotes& notes, TraceLog& log);

// Value parsers. GET_ASCII: mode 1 inserts "/" before source positions 4 and 6 (dates); "0" is
// copied only when keepZeros is set or a digit 1-9 came before; letters, digits and "-" are
// copied; space and "^" become a space; everything else is dropped. At most capacity - 1 characters.
std::string GET_ASCII(const uint8_t* src, size_t len, int mode, bool keepZeros, size_t capacity);
// Reorders "yyyy/mm/dd" (":" also accepted) into "dd/mm/yyyy".
void FORMAT_DATE(std::string& date);

// Decimal strings (VR DS): every value an optional sign, digits with an optional point and an
// optional exponent, spaces around; values separated by backslashes. nullopt when a value is
// not a finite number.
std::optional<std::vector<double>> parseDecimalStrings(std::string_view text);
// An integer string (VR IS): an optional sign and digits, spaces around. nullopt otherwise.
std::optional<long long> parseIntegerString(std::string_view text);

// Voxel sizes of a DS value in millimetres, returned in centimetres, each kept to n significant
// digits (4.7952 mm gives 0.4795 cm). nullopt when a value is not a number of 0.1 to 50 mm.
std::optional<std::vector<float>> GET_VOXZIZE(const uint8_t* src, size_t len, int n);
// Integer string (Number of Frames, Nominal Interval, Instance Number); nullopt when the value
// is not one or does not fit an int.
std::optional<int> GET_NFRAMES(const uint8_t* src, size_t len);
// Heart rate: CARD_FREQ_INT and CARD_FREQ; CYCLE when the value is at least 1. False, with
// nothing changed, when the value is not an integer string.
bool GET_PULSE(StudyRecord& s, const uint8_t* src, size_t len);
// One decimal string; nullopt when it is not a single finite number.
std::optional<float> GET_RESCALE(const uint8_t* src, size_t len);

}  // namespace quorvel
