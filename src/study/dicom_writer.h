#pragma once
// Small DICOM element writer: collects data elements (tag, VR, value) and encodes a Part 10 file
// (preamble, "DICM", explicit VR little-endian meta group, data set in one of the three transfer
// syntaxes the reader decodes). Values are padded to even length; numbers are byte-swapped for
// big endian. Sequences are written with undefined lengths.
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "study/dicom_dictionary.h"
#include "study/study_record.h"

namespace quorvel {


inline constexpr const char* kNmImageStorageUid = "1.2.840.10008.5.1.4.1.1.20";
inline constexpr const char* kSecondaryCaptureUid = "1.2.840.10008.5.1.4.1.1.7";

class DicomDataSet {
 public:
  // Each add replaces an element of the same tag. They throw std::invalid_argument for a VR that
  // does not suit the call or for a group 0002 tag (the meta group is written by encodePart10).
  // Text VRs (AE AS CS DA DS DT IS LO LT PN SH ST TM UI UT): padded with a space (UI with a zero).
  void addString(uint16_t group, uint16_t element, const char* vr, const std::string& value);
  void addIS(uint16_t group, uint16_t element, long long value);
  // Decimal strings, several values joined by "\\", each at most 16 characters.
  void addDS(uint16_t group, uint16_t element, std::span<const double> values);
  void addDS(uint16_t group, uint16_t element, double value) { addDS(group, element, std::span<const double>(&value, 1)); }
  void addUS(uint16_t group, uint16_t element, std::span<const uint16_t> values);
  void addUS(uint16_t group, uint16_t element, uint16_t value) { addUS(group, element, std::span<const uint16_t>(&value, 1)); }
  void addUL(uint16_t group, uint16_t element, uint32_t value);
  // Attribute tags (AT), each given as (group << 16) | element.
  void addAT(uint16_t group, uint16_t element, std::span<const uint32_t> tags);
  void addOB(uint16_t group, uint16_t element, std::span<const uint8_t> bytes);
  // 16-bit words (pixel data): written in the byte order of the transfer syntax.
  void addOW(uint16_t group, uint16_t element, std::span<const uint16_t> words);
  // A sequence (SQ) of items, each a data set encoded in the file's transfer syntax.
  void addSequence(uint16_t group, uint16_t element, std::vector<DicomDataSet> items);

  bool has(uint16_t group, uint16_t element) const { return elements_.count(key(group, element)) != 0; }
  void remove(uint16_t group, uint16_t element) { elements_.erase(key(group, element)); }

  // Encodes the whole file. Throws std::length_error when a value needs a 32-bit length but its VR
  // has only a 16-bit one in explicit VR, std::invalid_argument for an unknown syntax.
  std::vector<uint8_t> encodePart10(TransferSyntax syntax, const std::string& sopClassUid,
                                    const std::string& sopInstanceUid) const;

 private:
  struct Element {
    char vr[2];
    unsigned unit;  // byte size of one number to swap for big endian (1: none)
    std::vector<uint8_t> value;  // little-endian, padded to even length
    std::vector<DicomDataSet> items;  // SQ only
  };
  void encodeElements(std::vector<uint8_t>& out, const std::map<uint32_t, Element>& elements, bool explicitVr,
                      bool big) const;
  static uint32_t key(uint16_t g, uint16_t e) { return (uint32_t(g) << 16) | e; }
  void put(uint16_t group, uint16_t element, const char* vr, unsigned unit, std::vector<uint8_t> value);

  std::map<uint32_t, Element> elements_;  // ordered by tag, as the standard requires
};

// A UID under the 2.25 root built from 128 bits (for instance two hashes of the content).
std::string uidFrom128(uint64_t high, uint64_t low);
// A UID under the 2.25 root from 128 random bits.
std::string newUid();

// What makes a derived picture a new object of the acquisition's study.
struct SecondaryCaptureIds {
  std::string sopInstanceUid, seriesInstanceUid;
  std::string studyInstanceUid;  // the acquisition's; a new one when it had none
  std::string date, time;        // of the capture: "YYYYMMDD", "HHMMSS"
  int instanceNumber = 1;
};
// New instance and series UIDs, the study's UID (new when the acquisition had none), now.
SecondaryCaptureIds newSecondaryCaptureIds(const StudyRecord& s);

// The header of an RGB picture of rows x columns as a Secondary Capture object of the
// acquisition's study, in explicit VR little endian: patient and study fields from the
// acquisition's raw copies (a value not of its VR's form is left empty), modality OT, conversion
// type WSD, and the Pixel Data element's header declaring rows x columns x 3 bytes. The caller
// writes the pixels (R, G, B interleaved, top row first) at the returned size.
std::vector<uint8_t> CREATE_DCM_HEADER(const StudyRecord& s, int rows, int columns, const SecondaryCaptureIds& ids);

}  // namespace quorvel
