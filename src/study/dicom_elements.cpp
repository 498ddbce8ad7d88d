#include "study/dicom_elements.h"

#include <algorithm>
#include <array>

#include "study/dicom_dictionary.h"

namespace quorvel {

namespace {

constexpr size_t kHeaderBytes = 8;  // tag, then VR and length or a 32-bit length
constexpr size_t kWindow = 16;

// Groups whose elements the reader may use; the others are stepped over through their length.
bool groupKeptWhole(uint16_t group) {
  switch (group & 0xFF) {
    case 0x02: case 0x08: case 0x10: case 0x18: case 0x20: case 0x28: case 0x54: case 0xE0:
      return true;
    default:
      return false;
  }
}

// Either more bytes of the file would let the walk go on, or the file itself ends there.
WalkStatus shortOf(uint64_t end, uint64_t prefixSize, uint64_t fileSize) {
  return end <= fileSize && prefixSize < fileSize ? WalkStatus::NeedMore : WalkStatus::Undecodable;
}

}  // namespace

DicomElementWalker::DicomElementWalker(std::span<const uint8_t> prefix, uint64_t fileSize)
    : prefix_(prefix), fileSize_(fileSize) {}

WalkStatus DicomElementWalker::next(DicomElement& out) {
  const uint64_t size = prefix_.size(), p = position_;
  if (p > size || size - p < kHeaderBytes) return shortOf(p + kHeaderBytes, size, fileSize_);
  std::array<uint8_t, kWindow> b{};
  std::copy_n(prefix_.begin() + static_cast<std::ptrdiff_t>(p), std::min<uint64_t>(kWindow, size - p), b.begin());

  // The meta group is little endian; a big-endian data set starts at its first group's high byte.
  if (syntax_ == kExplicitBig && b[0] == 0) swapped_ = true;
  const bool big = swapped_;
  auto u16 = [&](int o) -> uint32_t { return big ? (b[o] << 8 | b[o + 1]) : (b[o] | b[o + 1] << 8); };
  auto u32 = [&](int o) -> uint64_t {
    return big ? (uint64_t(b[o]) << 24 | b[o + 1] << 16 | b[o + 2] << 8 | b[o + 3])
               : (uint64_t(b[o + 3]) << 24 | b[o + 2] << 16 | b[o + 1] << 8 | b[o]);
  };
  out = DicomElement{};
  out.group = static_cast<uint16_t>(u16(0));
  out.element = static_cast<uint16_t>(u16(2));
  out.offset = p;
  out.bigEndian = big;
  if (out.group != 0x0002 && syntax_ == kSyntaxUnknown) return WalkStatus::Undecodable;
  out.implicitVr = syntax_ == kImplicitLittle && out.group != 0x0002;
  const bool item = out.group == 0xFFFE;
  const bool undefinedLength = b[4] == 0xFF && b[5] == 0xFF && b[6] == 0xFF && b[7] == 0xFF;
  const bool longForm = !out.implicitVr && !item && isLongFormVr(static_cast<char>(b[4]), static_cast<char>(b[5])) &&
                        b[6] == 0 && b[7] == 0;
  if (!out.implicitVr && !item) out.vr[0] = static_cast<char>(b[4]), out.vr[1] = static_cast<char>(b[5]);

  // L: the bytes beyond the 8-byte element header.
  uint64_t L = 0;
  bool steppedIn = false;  // an element of undefined length: its contents follow as elements
  out.valueOffset = p + kHeaderBytes;
  if (item) {
    L = 0;  // items are stepped into, their delimiters have no value
  } else if (longForm) {
    const bool undefined = b[8] == 0xFF && b[9] == 0xFF && b[10] == 0xFF && b[11] == 0xFF;
    L = undefined ? 4 : u32(8) + 4;
    steppedIn = undefined;
    out.valueOffset = p + 12;
    out.valueLength = undefined ? 0 : u32(8);
  } else if (out.implicitVr) {
    L = undefinedLength ? 0 : u32(4);
    steppedIn = undefinedLength;
    out.valueLength = L;
  } else {
    L = u16(6);
    out.valueLength = L;
  }
  if (!item && out.element == 0 && !groupKeptWhole(out.group)) L = u32(8) + 4;

  out.depth = depth_;
  if (item && out.element == 0xE0DD && depth_ > 0) --depth_;
  if (steppedIn) ++depth_;
  out.stepped = std::min<uint64_t>(L + kHeaderBytes, fileSize_ + 1);
  position_ = p + out.stepped;
  return WalkStatus::Element;
}

WalkStatus DicomElementWalker::checkValue(const DicomElement& e) const {
  const uint64_t size = prefix_.size();
  if (e.valueOffset > size || e.valueLength > size - e.valueOffset)
    return shortOf(e.valueOffset + e.valueLength, size, fileSize_);
  return WalkStatus::Element;
}

}  // namespace quorvel
