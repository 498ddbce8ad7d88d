#pragma once
// Header reader of gated tomographic DICOM files (also used for IMA files): a flat element
// walker over implicit VR little endian, explicit VR little endian and explicit VR big endian.
// It does not read the pixels; it records where they start (OFFSET_LEC).
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "base/options.h"
#include "base/platform.h"
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
  BadVoxelSize,
  NeedMore,        // the walk needs bytes beyond the prefix it was given
};

// What the walk noticed that the user is told about once the walk is over.
struct DicomWalkNotes {
  int timeSlotsFixed = 0;  // Number of Time Slots that replaced the default instant count
};

// Reads the header of path into s (a scratch record: the caller commits it on success).
// opt.DEFAULT_ninst may change (Number of Time Slots). Shows the refusal message and returns 0
// on refusal, 1 when the whole file, pixel data included, is consistent.
int LOAD_DCM_DATA(const std::filesystem::path& path, StudyRecord& s, Options& opt, Platform& platform,
                  TraceLog& log);

// The element walk over the first bytes of a file of fileSize bytes. Returns None when the pixel
// data was found, NeedMore when the prefix ended before it (call again with a longer prefix).
DicomRefusal GET_DICOM_INFO(std::span<const uint8_t> prefix, uint64_t fileSize, StudyRecord& s, Options& opt,
                            DicomWalkNotes& notes, TraceLog& log);

// Value parsers; their quirks are deliberate (the original reads values this way).
// GET_ASCII: mode 1 inserts "/" before source positions 4 and 6 (dates); "0" is copied only
// when keepZeros is set or a digit 1-9 came before; letters, digits and "-" are copied; space
// and "^" become a space; everything else is dropped. At most capacity - 1 characters.
std::string GET_ASCII(const uint8_t* src, size_t len, int mode, bool keepZeros, size_t capacity);
// Reorders "yyyy/mm/dd" (":" also accepted) into "dd/mm/yyyy".
void FORMAT_DATE(std::string& date);
// Up to n significant digits, the k-th weighted 10^(n-1-k); leading zeros and non-digits are
// skipped. For a spacing of 1 mm up to 10 mm, result / 10000 is the size in centimetres; outside
// that range the decimal point is honoured so that the same division still gives centimetres.
float GET_VOXZIZE(const uint8_t* src, size_t len, int n);
// Integer: spaces skipped, every other character shifts by one digit (non-digits count as 0).
int GET_NFRAMES(const uint8_t* src, size_t len);
// Heart rate: CARD_FREQ_INT and CARD_FREQ; CYCLE when the value is at least 1.
void GET_PULSE(StudyRecord& s, const uint8_t* src, size_t len);
// Decimal number ending at a space; the sign counts as a digit 0 (it is not kept).
float GET_RESCALE(const uint8_t* src, size_t len);

}  // namespace quorvel
