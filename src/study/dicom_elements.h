#pragma once
// The element walk of a DICOM Part 10 file: one element at a time, in implicit VR little endian,
// explicit VR little endian or explicit VR big endian, stepping into sequences of undefined length
// and over the groups the reader never uses. It decodes the encoding only; what the values mean is
// the reader's business.
#include <cstdint>
#include <span>

#include "study/study_record.h"

namespace quorvel {

inline constexpr size_t kDicomPreamble = 128;
inline constexpr size_t kDicomFirstElement = 132;  // after the preamble and "DICM"

struct DicomElement {
  uint16_t group = 0, element = 0;
  char vr[2] = {'-', '-'};  // as written; '-' in implicit VR and for items
  uint64_t offset = 0;      // of the element's first byte in the file
  uint64_t valueOffset = 0, valueLength = 0;
  bool implicitVr = false;
  bool bigEndian = false;  // byte order of its numbers
  int depth = 0;           // undefined-length sequences it lies in; 0 for the data set itself
  uint64_t stepped = 0;    // bytes the walk moves past it (header, value or group included)

  uint32_t tag() const { return (uint32_t(group) << 16) | element; }
};

enum class WalkStatus {
  Element,      // out holds the next element (its value may lie beyond the prefix: see valueAvailable)
  NeedMore,     // the prefix ends before the element; a longer prefix lets the walk go on
  Undecodable,  // the element runs past the end of the file, or the syntax cannot be decoded
};

class DicomElementWalker {
 public:
  // Walks a prefix of a file of fileSize bytes, from the first element after "DICM".
  DicomElementWalker(std::span<const uint8_t> prefix, uint64_t fileSize);

  // The data set's syntax, once the caller has read it from (0002,0010). Elements of the data set
  // cannot be decoded before (the walk then answers Undecodable).
  void setSyntax(TransferSyntax syntax) { syntax_ = syntax; }

  WalkStatus next(DicomElement& out);
  // Whether the value lies in the prefix, and then the value itself.
  WalkStatus checkValue(const DicomElement& e) const;
  std::span<const uint8_t> value(const DicomElement& e) const {
    return prefix_.subspan(static_cast<size_t>(e.valueOffset), static_cast<size_t>(e.valueLength));
  }

 private:
  std::span<const uint8_t> prefix_;
  uint64_t fileSize_;
  uint64_t position_ = kDicomFirstElement;
  TransferSyntax syntax_ = kSyntaxUnknown;
  bool swapped_ = false;
  int depth_ = 0;
};

}  // namespace quorvel
