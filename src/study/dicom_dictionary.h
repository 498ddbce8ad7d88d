#pragma once
// What the DICOM reader and writer agree on: the transfer syntaxes we decode and encode, and how
// each value representation is encoded.
#include <cstdint>
#include <string_view>

#include "study/study_record.h"

namespace quorvel {

struct TransferSyntaxEntry {
  TransferSyntax code;
  const char* uid;
  bool explicitVr;
  bool bigEndian;
};
inline constexpr TransferSyntaxEntry kTransferSyntaxes[] = {
    {kImplicitLittle, "1.2.840.10008.1.2", false, false},
    {kExplicitLittle, "1.2.840.10008.1.2.1", true, false},
    {kExplicitBig, "1.2.840.10008.1.2.2", true, true},
};

// The UID of a syntax; nullptr for kSyntaxUnknown.
const char* transferSyntaxUid(TransferSyntax syntax);
// The syntax of a UID value (trailing zero or space padding ignored); kSyntaxUnknown otherwise.
TransferSyntax syntaxOfUid(std::string_view uid);

// A UID of at most 64 characters, digits and dots, neither starting nor ending with a dot.
bool isWellFormedUid(std::string_view uid);

// Explicit VRs whose value length is 32-bit after two reserved bytes.
bool isLongFormVr(char a, char b);
// VRs whose value is text, padded with a space (UI with a zero byte).
bool isTextVr(char a, char b);

constexpr uint32_t dicomTag(uint16_t group, uint16_t element) { return (uint32_t(group) << 16) | element; }

}  // namespace quorvel
