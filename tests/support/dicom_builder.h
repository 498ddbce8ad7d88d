#pragma once
// Crafts small DICOM files byte by byte for the reader's tests, malformed ones included.
// The data set is written in implicit or explicit VR little endian; DCMTK converts it further.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "base/byte_reader.h"

namespace quorvel::testing {

inline constexpr const char* kImplicitUid = "1.2.840.10008.1.2";
inline constexpr const char* kExplicitLittleUid = "1.2.840.10008.1.2.1";
inline constexpr const char* kDeflatedUid = "1.2.840.10008.1.2.1.99";

class DicomBuilder {
 public:
  explicit DicomBuilder(bool implicitVr = false) : implicit_(implicitVr) {}

  DicomBuilder& str(uint16_t g, uint16_t e, const char* vr, std::string value) {
    if (value.size() % 2) value += (std::string(vr) == "UI") ? '\0' : ' ';
    return raw(g, e, vr, std::vector<uint8_t>(value.begin(), value.end()));
  }
  DicomBuilder& us(uint16_t g, uint16_t e, uint16_t v) {
    std::vector<uint8_t> b;
    putU16le(b, v);
    return raw(g, e, "US", b);
  }
  DicomBuilder& raw(uint16_t g, uint16_t e, const char* vr, const std::vector<uint8_t>& value) {
    header(data_, g, e, vr, static_cast<uint32_t>(value.size()));
    data_.insert(data_.end(), value.begin(), value.end());
    return *this;
  }
  // A sequence of undefined length holding one item of undefined length.
  DicomBuilder& sequenceWith(uint16_t g, uint16_t e, const std::function<void(DicomBuilder&)>& fill) {
    putU16le(data_, g);
    putU16le(data_, e);
    if (!implicit_) {
      data_.push_back('S');
      data_.push_back('Q');
      putU16le(data_, 0);
    }
    putU32le(data_, 0xFFFFFFFF);
    itemTag(0xE000, 0xFFFFFFFF);
    DicomBuilder inner(implicit_);
    fill(inner);
    data_.insert(data_.end(), inner.data_.begin(), inner.data_.end());
    itemTag(0xE00D, 0);
    itemTag(0xE0DD, 0);
    return *this;
  }
  DicomBuilder& pixels(const std::vector<int16_t>& values) {
    std::vector<uint8_t> b;
    for (int16_t v : values) putU16le(b, static_cast<uint16_t>(v));
    return raw(0x7FE0, 0x0010, "OW", b);
  }
  // Adds bytes after everything else (to make lengths lie).
  std::vector<uint8_t>& body() { return data_; }

  std::vector<uint8_t> build(const std::string& syntaxUid, const std::string& magic = "DICM") const {
    std::vector<uint8_t> meta;
    std::vector<uint8_t> metaBody;
    auto metaStr = [&](uint16_t e, std::string v) {
      if (v.size() % 2) v += '\0';
      headerExplicit(metaBody, 0x0002, e, "UI", static_cast<uint32_t>(v.size()));
      metaBody.insert(metaBody.end(), v.begin(), v.end());
    };
    metaStr(0x0002, "1.2.840.10008.5.1.4.1.1.20");
    metaStr(0x0003, "1.2.826.0.1.3680043.2.1143.42");
    metaStr(0x0010, syntaxUid);
    headerExplicit(meta, 0x0002, 0x0000, "UL", 4);
    putU32le(meta, static_cast<uint32_t>(metaBody.size()));
    meta.insert(meta.end(), metaBody.begin(), metaBody.end());

    std::vector<uint8_t> out(128 + magic.size() + meta.size(), 0);
    std::copy(magic.begin(), magic.end(), out.begin() + 128);
    std::copy(meta.begin(), meta.end(), out.begin() + 128 + static_cast<std::ptrdiff_t>(magic.size()));
    out.insert(out.end(), data_.begin(), data_.end());
    return out;
  }

 private:
  static bool longForm(const std::string& vr) { return vr == "OB" || vr == "OW" || vr == "SQ" || vr == "UN"; }
  static void headerExplicit(std::vector<uint8_t>& out, uint16_t g, uint16_t e, const std::string& vr, uint32_t len) {
    putU16le(out, g);
    putU16le(out, e);
    out.push_back(static_cast<uint8_t>(vr[0]));
    out.push_back(static_cast<uint8_t>(vr[1]));
    if (longForm(vr)) {
      putU16le(out, 0);
      putU32le(out, len);
    } else {
      putU16le(out, static_cast<uint16_t>(len));
    }
  }
  void header(std::vector<uint8_t>& out, uint16_t g, uint16_t e, const std::string& vr, uint32_t len) const {
    if (implicit_) {
      putU16le(out, g);
      putU16le(out, e);
      putU32le(out, len);
    } else {
      headerExplicit(out, g, e, vr, len);
    }
  }
  void itemTag(uint16_t e, uint32_t len) {
    putU16le(data_, 0xFFFE);
    putU16le(data_, e);
    putU32le(data_, len);
  }

  bool implicit_;
  std::vector<uint8_t> data_;
};

inline void writeBytes(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A gated study description from which the tests build files.
struct GatedStudy {
  int instants = 8;
  int slices = 4;
  int rows = 64;
  int columns = 64;
  int timeSlots = -1;       // -1: same as instants; 0: tag left out
  bool writeSlices = true;  // Number of Slices
  std::string heartRate = "72";
  std::string spacing = "6.8\\6.8";
  std::string thickness = "6.8";
  std::string position = "FFS";
  std::string name = "DOE^JOHN";
  std::string sex = "M";
  std::string birth = "19450607";
  std::string acqDate = "20120315";
  std::string slope, intercept;
  std::string frames;  // Number of Frames; empty: instants x slices
  std::function<int16_t(int t, int z, int x, int y)> value = [](int t, int z, int x, int y) {
    return static_cast<int16_t>((t * 7 + z * 3 + x + 2 * y) % 200);
  };

  DicomBuilder builder(bool implicitVr = false) const {
    DicomBuilder b(implicitVr);
    b.str(0x0008, 0x0022, "DA", acqDate).str(0x0008, 0x0030, "TM", "101010");
    b.str(0x0010, 0x0010, "PN", name).str(0x0010, 0x0020, "LO", "ID42");
    b.str(0x0010, 0x0030, "DA", birth).str(0x0010, 0x0040, "CS", sex);
    if (!thickness.empty()) b.str(0x0018, 0x0050, "DS", thickness);
    if (!heartRate.empty()) b.str(0x0018, 0x1088, "IS", heartRate);
    if (!position.empty()) b.str(0x0018, 0x5100, "CS", position);
    b.str(0x0028, 0x0008, "IS", frames.empty() ? std::to_string(instants * slices) : frames);
    b.us(0x0028, 0x0010, static_cast<uint16_t>(rows)).us(0x0028, 0x0011, static_cast<uint16_t>(columns));
    if (!spacing.empty()) b.str(0x0028, 0x0030, "DS", spacing);
    if (!intercept.empty()) b.str(0x0028, 0x1052, "DS", intercept);
    if (!slope.empty()) b.str(0x0028, 0x1053, "DS", slope);
    const int slots = timeSlots < 0 ? instants : timeSlots;
    if (slots > 0) b.us(0x0054, 0x0071, static_cast<uint16_t>(slots));
    if (writeSlices) b.us(0x0054, 0x0081, static_cast<uint16_t>(slices));
    b.pixels(pixelValues());
    return b;
  }
  std::vector<int16_t> pixelValues() const {
    std::vector<int16_t> px;
    px.reserve(static_cast<size_t>(instants) * slices * rows * columns);
    for (int t = 0; t < instants; ++t)
      for (int z = 0; z < slices; ++z)
        for (int x = 0; x < rows; ++x)
          for (int y = 0; y < columns; ++y) px.push_back(value(t, z, x, y));
    return px;
  }
  std::vector<uint8_t> file(bool implicitVr = false) const {
    return builder(implicitVr).build(implicitVr ? kImplicitUid : kExplicitLittleUid);
  }
};

}  // namespace quorvel::testing
