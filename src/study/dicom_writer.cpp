#include "study/dicom_writer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <stdexcept>

#include "base/byte_reader.h"
#include "study/dicom_dictionary.h"

namespace quorvel {

namespace {

constexpr size_t kPreambleSize = 128;
constexpr uint32_t kMaxShortLength = 0xFFFF;
constexpr int kMaxDsChars = 16;
constexpr const char* kImplementationClassUid = "2.25.186101446431722391204659118839208616357";
constexpr const char* kImplementationVersion = "QUORVEL_010";

std::vector<uint8_t> padded(const std::string& s, uint8_t pad) {
  std::vector<uint8_t> v(s.begin(), s.end());
  if (v.size() % 2) v.push_back(pad);
  return v;
}

void putU16(std::vector<uint8_t>& out, uint16_t v, bool big) { big ? putU16be(out, v) : putU16le(out, v); }
void putU32(std::vector<uint8_t>& out, uint32_t v, bool big) { big ? putU32be(out, v) : putU32le(out, v); }

void encodeElement(std::vector<uint8_t>& out, uint32_t tag, const char vr[2], unsigned unit,
                   const std::vector<uint8_t>& value, bool explicitVr, bool big) {
  putU16(out, static_cast<uint16_t>(tag >> 16), big);
  putU16(out, static_cast<uint16_t>(tag & 0xFFFF), big);
  const uint32_t len = static_cast<uint32_t>(value.size());
  if (!explicitVr) {
    putU32(out, len, big);
  } else {
    out.push_back(static_cast<uint8_t>(vr[0]));
    out.push_back(static_cast<uint8_t>(vr[1]));
    if (isLongFormVr(vr[0], vr[1])) {
      out.push_back(0);
      out.push_back(0);
      putU32(out, len, big);
    } else {
      if (len > kMaxShortLength) throw std::length_error("DICOM value too long for a 16-bit length");
      putU16(out, static_cast<uint16_t>(len), big);
    }
  }
  if (!big || unit == 1) {
    out.insert(out.end(), value.begin(), value.end());
    return;
  }
  for (size_t i = 0; i + unit <= value.size(); i += unit)
    for (size_t k = 0; k < unit; ++k) out.push_back(value[i + unit - 1 - k]);
}

}  // namespace

void DicomDataSet::put(uint16_t group, uint16_t element, const char* vr, unsigned unit, std::vector<uint8_t> value) {
  if (group == 0x0002) throw std::invalid_argument("group 0002 is written by encodePart10");
  if (std::strlen(vr) != 2) throw std::invalid_argument("VR must have two characters");
  Element e{{vr[0], vr[1]}, unit, std::move(value), {}};
  if (e.value.size() % 2) e.value.push_back(0);
  elements_[key(group, element)] = std::move(e);
}

void DicomDataSet::addString(uint16_t group, uint16_t element, const char* vr, const std::string& value) {
  if (std::strlen(vr) != 2 || !isTextVr(vr[0], vr[1])) throw std::invalid_argument(std::string("not a text VR: ") + vr);
  put(group, element, vr, 1, padded(value, std::strncmp(vr, "UI", 2) == 0 ? 0 : ' '));
}

void DicomDataSet::addIS(uint16_t group, uint16_t element, long long value) {
  put(group, element, "IS", 1, padded(std::to_string(value), ' '));
}

void DicomDataSet::addDS(uint16_t group, uint16_t element, std::span<const double> values) {
  std::string s;
  for (size_t i = 0; i < values.size(); ++i) {
    char buf[32];
    // Shortest form that fits 16 characters: try decreasing precision.
    for (int prec = 10; prec >= 1; --prec) {
      std::snprintf(buf, sizeof buf, "%.*g", prec, values[i]);
      if (std::strlen(buf) <= static_cast<size_t>(kMaxDsChars)) break;
    }
    if (i) s += '\\';
    s += buf;
  }
  put(group, element, "DS", 1, padded(s, ' '));
}

void DicomDataSet::addUS(uint16_t group, uint16_t element, std::span<const uint16_t> values) {
  std::vector<uint8_t> v;
  for (uint16_t x : values) putU16le(v, x);
  put(group, element, "US", 2, std::move(v));
}

void DicomDataSet::addUL(uint16_t group, uint16_t element, uint32_t value) {
  std::vector<uint8_t> v;
  putU32le(v, value);
  put(group, element, "UL", 4, std::move(v));
}

void DicomDataSet::addAT(uint16_t group, uint16_t element, std::span<const uint32_t> tags) {
  std::vector<uint8_t> v;
  for (uint32_t t : tags) putU16le(v, static_cast<uint16_t>(t >> 16)), putU16le(v, static_cast<uint16_t>(t));
  put(group, element, "AT", 2, std::move(v));
}

void DicomDataSet::addOB(uint16_t group, uint16_t element, std::span<const uint8_t> bytes) {
  put(group, element, "OB", 1, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

void DicomDataSet::addSequence(uint16_t group, uint16_t element, std::vector<DicomDataSet> items) {
  put(group, element, "SQ", 1, {});
  elements_[key(group, element)].items = std::move(items);
}

void DicomDataSet::encodeElements(std::vector<uint8_t>& out, const std::map<uint32_t, Element>& elements,
                                  bool explicitVr, bool big) const {
  constexpr uint32_t kUndefinedLength = 0xFFFFFFFF;
  auto delimiter = [&](uint16_t element, uint32_t length) {
    putU16(out, 0xFFFE, big);
    putU16(out, element, big);
    putU32(out, length, big);
  };
  for (const auto& [tag, e] : elements) {
    if (std::memcmp(e.vr, "SQ", 2) != 0) {
      encodeElement(out, tag, e.vr, e.unit, e.value, explicitVr, big);
      continue;
    }
    putU16(out, static_cast<uint16_t>(tag >> 16), big);
    putU16(out, static_cast<uint16_t>(tag & 0xFFFF), big);
    if (explicitVr) out.insert(out.end(), {'S', 'Q', 0, 0});
    putU32(out, kUndefinedLength, big);
    for (const DicomDataSet& item : e.items) {
      delimiter(0xE000, kUndefinedLength);
      encodeElements(out, item.elements_, explicitVr, big);
      delimiter(0xE00D, 0);
    }
    delimiter(0xE0DD, 0);
  }
}

void DicomDataSet::addOW(uint16_t group, uint16_t element, std::span<const uint16_t> words) {
  std::vector<uint8_t> v;
  v.reserve(words.size() * 2);
  for (uint16_t x : words) putU16le(v, x);
  put(group, element, "OW", 2, std::move(v));
}

std::vector<uint8_t> DicomDataSet::encodePart10(TransferSyntax syntax, const std::string& sopClassUid,
                                                const std::string& sopInstanceUid) const {
  const char* ts = transferSyntaxUid(syntax);
  if (!ts) throw std::invalid_argument("unknown transfer syntax");
  // Meta group: always explicit VR little endian, with its group length first.
  std::vector<uint8_t> meta;
  const uint8_t version[2] = {0, 1};
  encodeElement(meta, 0x00020001, "OB", 1, std::vector<uint8_t>(version, version + 2), true, false);
  encodeElement(meta, 0x00020002, "UI", 1, padded(sopClassUid, 0), true, false);
  encodeElement(meta, 0x00020003, "UI", 1, padded(sopInstanceUid, 0), true, false);
  encodeElement(meta, 0x00020010, "UI", 1, padded(ts, 0), true, false);
  encodeElement(meta, 0x00020012, "UI", 1, padded(kImplementationClassUid, 0), true, false);
  encodeElement(meta, 0x00020013, "SH", 1, padded(kImplementationVersion, ' '), true, false);

  std::vector<uint8_t> out(kPreambleSize, 0);
  for (char c : std::string("DICM")) out.push_back(static_cast<uint8_t>(c));
  std::vector<uint8_t> len;
  putU32le(len, static_cast<uint32_t>(meta.size()));
  encodeElement(out, 0x00020000, "UL", 4, len, true, false);
  out.insert(out.end(), meta.begin(), meta.end());

  const bool explicitVr = syntax != kImplicitLittle, big = syntax == kExplicitBig;
  // Data set in tag order; the SOP identifiers must match the meta group, so they come from the arguments.
  std::map<uint32_t, Element> all = elements_;
  all[0x00080016] = Element{{'U', 'I'}, 1, padded(sopClassUid, 0), {}};
  all[0x00080018] = Element{{'U', 'I'}, 1, padded(sopInstanceUid, 0), {}};
  encodeElements(out, all, explicitVr, big);
  return out;
}

std::string uidFrom128(uint64_t high, uint64_t low) {
  // Decimal of a 128-bit number by repeated division of its four 32-bit limbs.
  uint32_t limbs[4] = {uint32_t(high >> 32), uint32_t(high), uint32_t(low >> 32), uint32_t(low)};
  std::string digits;
  for (;;) {
    bool zero = true;
    uint64_t rem = 0;
    for (uint32_t& l : limbs) {
      const uint64_t cur = (rem << 32) | l;
      l = static_cast<uint32_t>(cur / 10);
      rem = cur % 10;
      zero = zero && l == 0;
    }
    digits.push_back(static_cast<char>('0' + rem));
    if (zero) break;
  }
  std::reverse(digits.begin(), digits.end());
  return "2.25." + digits;
}

std::string newUid() {
  std::random_device rd;
  auto word = [&rd] { return (uint64_t(rd()) << 32) | rd(); };
  const uint64_t high = word();
  return uidFrom128(high, word());
}

SecondaryCaptureIds newSecondaryCaptureIds(const StudyRecord& s) {
  SecondaryCaptureIds ids;
  ids.sopInstanceUid = newUid();
  ids.seriesInstanceUid = newUid();
  // Only a well-formed UID joins the acquisition's study; anything else would make the object invalid.
  ids.studyInstanceUid = isWellFormedUid(s.studyInstanceUid) ? s.studyInstanceUid : newUid();
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y%m%d", &local);
  ids.date = buf;
  std::strftime(buf, sizeof buf, "%H%M%S", &local);
  ids.time = buf;
  return ids;
}

namespace {

// A raw copy as text: up to its first zero byte, without trailing spaces.
template <size_t N>
std::string rawText(const std::array<char, N>& raw, size_t len = N) {
  std::string t(raw.data(), std::min(len, N));
  t = t.substr(0, t.find('\0'));
  while (!t.empty() && t.back() == ' ') t.pop_back();
  while (!t.empty() && t.front() == ' ') t.erase(t.begin());
  return t;
}
bool allDigits(const std::string& t) {
  return std::all_of(t.begin(), t.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}
std::string validDate(const std::string& t) { return t.size() == 8 && allDigits(t) ? t : std::string(); }
std::string validTime(const std::string& t) {
  const size_t dot = t.find('.');
  const std::string whole = t.substr(0, dot), fraction = dot == std::string::npos ? "" : t.substr(dot + 1);
  const bool ok = whole.size() >= 2 && whole.size() <= 6 && whole.size() % 2 == 0 && allDigits(whole) &&
                  fraction.size() <= 6 && allDigits(fraction) && (dot == std::string::npos || !fraction.empty());
  return ok ? t : std::string();
}
// Text of a string VR that forbids control characters and backslashes (PN, LO, SH).
std::string validText(const std::string& t, size_t maxLength) {
  const bool ok = t.size() <= maxLength &&
                  std::none_of(t.begin(), t.end(), [](unsigned char c) { return c < 0x20 || c == '\\'; });
  return ok ? t : std::string();
}
bool hasHighBytes(const std::string& t) {
  return std::any_of(t.begin(), t.end(), [](unsigned char c) { return c >= 0x80; });
}

}  // namespace

std::vector<uint8_t> CREATE_DCM_HEADER(const StudyRecord& s, int rows, int columns, const SecondaryCaptureIds& ids) {
  // The patient's name and ID whole when the acquisition gave them (the raw copies are cut to the
  // exam file's sizes: 40 and 10 characters, which could name another patient in an archive).
  const std::string name =
      s.dicomPatientName.empty()
          ? validText(rawText(s.patname, static_cast<size_t>(std::max(s.patname_long, 0))), kDicomPersonNameMax)
          : validText(s.dicomPatientName, kDicomPersonNameMax);
  const std::string patientId = s.dicomPatientId.empty() ? validText(rawText(s.patid), kDicomLongStringMax)
                                                         : validText(s.dicomPatientId, kDicomLongStringMax);
  const std::string studyId = validText(rawText(s.studyuid), 16);
  const std::string sex = rawText(s.patsex);
  const std::string age = rawText(s.patage);
  const std::string studyDate = validDate(rawText(s.hdate)), studyTime = validTime(rawText(s.htime));

  DicomDataSet ds;
  // The raw copies come from files of unknown character set; high bytes are taken as Latin-1.
  if (hasHighBytes(name) || hasHighBytes(patientId) || hasHighBytes(studyId))
    ds.addString(0x0008, 0x0005, "CS", "ISO_IR 100");
  ds.addString(0x0008, 0x0008, "CS", "DERIVED\\SECONDARY");
  ds.addString(0x0008, 0x0012, "DA", ids.date);
  ds.addString(0x0008, 0x0013, "TM", ids.time);
  ds.addString(0x0008, 0x0020, "DA", studyDate);
  ds.addString(0x0008, 0x0022, "DA", studyDate);
  ds.addString(0x0008, 0x0023, "DA", ids.date);
  ds.addString(0x0008, 0x0030, "TM", studyTime);
  ds.addString(0x0008, 0x0033, "TM", ids.time);
  ds.addString(0x0008, 0x0050, "SH", "");
  ds.addString(0x0008, 0x0060, "CS", "OT");
  ds.addString(0x0008, 0x0064, "CS", "WSD");
  ds.addString(0x0008, 0x0090, "PN", "");
  ds.addString(0x0008, 0x103E, "LO", "Quorvel report");
  ds.addString(0x0010, 0x0010, "PN", name);
  ds.addString(0x0010, 0x0020, "LO", patientId);
  ds.addString(0x0010, 0x0030, "DA", validDate(rawText(s.patbd)));
  ds.addString(0x0010, 0x0040, "CS", sex == "M" || sex == "F" || sex == "O" ? sex : "");
  if (age.size() == 4 && allDigits(age.substr(0, 3)) && std::strchr("DWMY", age[3]))
    ds.addString(0x0010, 0x1010, "AS", age);
  ds.addString(0x0018, 0x1012, "DA", ids.date);
  ds.addString(0x0018, 0x1014, "TM", ids.time);
  ds.addString(0x0020, 0x000D, "UI", ids.studyInstanceUid);
  ds.addString(0x0020, 0x000E, "UI", ids.seriesInstanceUid);
  ds.addString(0x0020, 0x0010, "SH", studyId);
  ds.addIS(0x0020, 0x0011, 1);
  ds.addIS(0x0020, 0x0013, ids.instanceNumber);
  ds.addString(0x0020, 0x0020, "CS", "");
  ds.addString(0x0020, 0x0060, "CS", "");
  ds.addUS(0x0028, 0x0002, 3);
  ds.addString(0x0028, 0x0004, "CS", "RGB");
  ds.addUS(0x0028, 0x0006, 0);
  ds.addUS(0x0028, 0x0010, static_cast<uint16_t>(rows));
  ds.addUS(0x0028, 0x0011, static_cast<uint16_t>(columns));
  ds.addUS(0x0028, 0x0100, 8);
  ds.addUS(0x0028, 0x0101, 8);
  ds.addUS(0x0028, 0x0102, 7);
  ds.addUS(0x0028, 0x0103, 0);
  std::vector<uint8_t> out = ds.encodePart10(kExplicitLittle, kSecondaryCaptureUid, ids.sopInstanceUid);
  // Pixel Data: its header only, OB with a 32-bit length.
  putU16le(out, 0x7FE0);
  putU16le(out, 0x0010);
  out.insert(out.end(), {'O', 'B', 0, 0});
  putU32le(out, static_cast<uint32_t>(rows) * static_cast<uint32_t>(columns) * 3u);
  return out;
}

}  // namespace quorvel
