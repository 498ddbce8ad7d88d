#include "study/dicom_reader.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <string_view>

#include "base/byte_reader.h"
#include "study/study_texts.h"
#include "study/timing.h"

namespace quorvel {

namespace {

constexpr size_t kPreamble = 128;
constexpr size_t kFirstElement = 132;
constexpr size_t kWindow = 32;
constexpr int kVoxelDigits = 4;
constexpr float kVoxelDivisor = 10000.0f;
constexpr uint64_t kHeaderPrefix = 64 * 1024;  // enough for the header of most files

constexpr uint32_t tag(uint16_t g, uint16_t e) { return (uint32_t(g) << 16) | e; }

bool isDigit19(uint8_t c) { return c >= '1' && c <= '9'; }

// Explicit VRs whose length is 32-bit after two reserved bytes.
bool isLongFormVr(uint8_t a, uint8_t b) {
  static constexpr std::array<std::string_view, 11> kLong{"OB", "OD", "OF", "OL", "OV", "OW",
                                                          "SQ", "UC", "UN", "UR", "UT"};
  const char vr[2] = {static_cast<char>(a), static_cast<char>(b)};
  return std::find(kLong.begin(), kLong.end(), std::string_view(vr, 2)) != kLong.end();
}

bool groupKeptWhole(uint16_t group) {
  switch (group & 0xFF) {
    case 0x02: case 0x08: case 0x10: case 0x18: case 0x20: case 0x28: case 0x54: case 0xE0:
      return true;
    default:
      return false;
  }
}

int syntaxOfUid(std::string_view uid) {
  while (!uid.empty() && (uid.back() == '\0' || uid.back() == ' ')) uid.remove_suffix(1);
  if (uid == "1.2.840.10008.1.2") return kImplicitLittle;
  if (uid == "1.2.840.10008.1.2.1") return kExplicitLittle;
  if (uid == "1.2.840.10008.1.2.2") return kExplicitBig;
  return kSyntaxUnknown;
}

// Already-read flags of the fields taken from their first occurrence only.
struct ReadOnce {
  bool syntax = false, interval = false, spacing = false, thickness = false, name = false, sex = false,
       birth = false, age = false, acqDate = false, rows = false, columns = false, position = false,
       heartRate = false;
};

}  // namespace

std::string GET_ASCII(const uint8_t* src, size_t len, int mode, bool keepZeros, size_t capacity) {
  std::string out;
  bool digitSeen = false;
  for (size_t i = 0; i < len && out.size() + 1 < capacity; ++i) {
    if (mode == 1 && (i == 4 || i == 6)) out += '/';
    const uint8_t c = src[i];
    if (c == '-') {
      out += '-';
    } else if (c == '0') {
      if (keepZeros || digitSeen) out += '0';
    } else if (isDigit19(c)) {
      out += static_cast<char>(c);
      digitSeen = true;
    } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
      out += static_cast<char>(c);
    } else if (c == ' ' || c == '^') {
      out += ' ';
    }
  }
  if (out.size() >= capacity) out.resize(capacity ? capacity - 1 : 0);
  return out;
}

void FORMAT_DATE(std::string& date) {
  std::string in = date.substr(0, 10);
  std::replace(in.begin(), in.end(), ':', '/');
  static constexpr int kOrder[10] = {8, 9, 7, 5, 6, 4, 0, 1, 2, 3};
  std::string out;
  for (int k : kOrder)
    if (k < static_cast<int>(in.size())) out += in[k];
  date = out;
}

float GET_VOXZIZE(const uint8_t* src, size_t len, int n) {
  float sum = 0;
  int accepted = 0;
  // Decade of the first number, so that values outside 1..10 keep their magnitude.
  int intDigits = 0, zerosAfterPoint = 0;
  bool inNumber = false, afterPoint = false, numberDone = false, significantSeen = false;
  for (size_t i = 0; i < len; ++i) {
    const uint8_t c = src[i];
    const bool digit = c >= '0' && c <= '9';
    if (!numberDone) {
      if (digit) {
        inNumber = true;
        if (c != '0') significantSeen = true;
        if (!afterPoint && significantSeen) ++intDigits;
        if (afterPoint && !significantSeen && intDigits == 0) ++zerosAfterPoint;
      } else if (c == '.' && !afterPoint) {
        afterPoint = true;
        inNumber = true;
      } else if (inNumber) {
        numberDone = true;
      }
    }
    if (!digit || accepted >= n) continue;
    if (c == '0' && accepted == 0) continue;
    sum += static_cast<float>((c - '0') * std::pow(10.0, n - 1 - accepted));
    ++accepted;
  }
  if (!significantSeen) return sum;
  const int decade = intDigits > 0 ? intDigits - 1 : -(zerosAfterPoint + 1);
  return decade == 0 ? sum : static_cast<float>(sum * std::pow(10.0, decade));
}

int GET_NFRAMES(const uint8_t* src, size_t len) {
  long long v = 0;
  for (size_t i = 0; i < len; ++i) {
    if (src[i] == ' ') continue;
    v = v * 10 + (isDigit19(src[i]) ? src[i] - '0' : 0);
    if (v > INT_MAX) return INT_MAX;  // no wrap-around on absurd values
  }
  return static_cast<int>(v);
}

void GET_PULSE(StudyRecord& s, const uint8_t* src, size_t len) {
  const int v = GET_NFRAMES(src, len);
  s.CARD_FREQ_INT = v;
  s.CARD_FREQ = static_cast<float>(v);
  if (v >= 1) s.CYCLE = 60000.0f / (static_cast<float>(s.Ninst) * static_cast<float>(v));
}

float GET_RESCALE(const uint8_t* src, size_t len) {
  double digits = 0;
  int fractional = 0;
  bool afterPoint = false;
  for (size_t i = 0; i < len && src[i] != ' '; ++i) {
    if (src[i] == '.') {
      afterPoint = true;
      continue;
    }
    digits = digits * 10 + (isDigit19(src[i]) ? src[i] - '0' : 0);
    if (afterPoint) ++fractional;
  }
  return static_cast<float>(digits / std::pow(10.0, fractional));
}

DicomRefusal GET_DICOM_INFO(std::span<const uint8_t> file, uint64_t fileSize, StudyRecord& s, Options& opt,
                            DicomWalkNotes& notes, TraceLog& log) {
  s.TRANSFERT_UID = kSyntaxUnknown;
  s.rescale_intercept = 0;
  s.rescale_slope = -1;
  s.patient_orientation = 0;
  ReadOnce once;
  bool swap = false;
  const size_t size = file.size();
  size_t p = kFirstElement;
  long long frames = -1;
  bool slicesSeen = false;

  for (;;) {
    // Every element needs its tag and length inside the file.
    if (p > size || size - p < 8) return p + 8 <= fileSize && size < fileSize ? DicomRefusal::NeedMore
                                                                             : DicomRefusal::Undecodable;
    std::array<uint8_t, kWindow> b{};
    std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(p), std::min(kWindow, size - p), b.begin());

    if (s.TRANSFERT_UID == kExplicitBig && b[0] == 0) swap = true;
    // Numbers in the file's byte order; the meta group 0002 is always little endian.
    const bool big = swap;  // captured by the decoders below
    auto u16 = [&](int o) -> uint32_t { return big ? (b[o] << 8 | b[o + 1]) : (b[o] | b[o + 1] << 8); };
    auto u32 = [&](int o) -> uint64_t {
      return big ? (uint64_t(b[o]) << 24 | b[o + 1] << 16 | b[o + 2] << 8 | b[o + 3])
                 : (uint64_t(b[o + 3]) << 24 | b[o + 2] << 16 | b[o + 1] << 8 | b[o]);
    };
    const uint16_t group = static_cast<uint16_t>(u16(0));
    const uint16_t element = static_cast<uint16_t>(u16(2));
    if (group != 0x0002 && s.TRANSFERT_UID == kSyntaxUnknown) return DicomRefusal::Undecodable;
    const bool implicit = s.TRANSFERT_UID == kImplicitLittle && group != 0x0002;
    const bool item = group == 0xFFFE;
    const bool undefinedLength = b[4] == 0xFF && b[5] == 0xFF && b[6] == 0xFF && b[7] == 0xFF;
    const bool longForm = !implicit && !item && isLongFormVr(b[4], b[5]) && b[6] == 0 && b[7] == 0;

    // Step over the value: L bytes beyond the 8-byte element header.
    uint64_t L = 0;
    uint64_t valueOffset = p + 8;
    uint64_t valueLength = 0;
    if (item) {
      L = 0;  // items are stepped into, their delimiters have no value
    } else if (longForm) {
      const uint64_t len32 = u32(8);
      const bool undefined = b[8] == 0xFF && b[9] == 0xFF && b[10] == 0xFF && b[11] == 0xFF;
      L = undefined ? 4 : len32 + 4;  // an undefined-length sequence is stepped into
      valueOffset = p + 12;
      valueLength = undefined ? 0 : len32;
    } else if (implicit) {
      L = undefinedLength ? 0 : u32(4);
      valueLength = L;
    } else {
      L = u16(6);
      valueLength = L;
    }
    // Groups the walker never uses are skipped whole through their group length.
    if (!item && element == 0 && !groupKeptWhole(group)) L = u32(8) + 4;

    if (log.enabled())
      log.writef("DICOM (%04X,%04X) %c%c  p = %zu  L = %llu\n", group, element, implicit ? '-' : b[4],
                 implicit ? '-' : b[5], p, static_cast<unsigned long long>(L));

    const uint32_t t = tag(group, element);
    if (t == tag(0x7FE0, 0x0010)) {
      s.OFFSET_LEC = static_cast<long long>(implicit ? p + 8 : p + 12);
      break;
    }
    if (valueOffset > size || valueLength > size - valueOffset)
      return valueOffset + valueLength <= fileSize && size < fileSize ? DicomRefusal::NeedMore
                                                                      : DicomRefusal::Undecodable;
    const uint8_t* v = file.data() + valueOffset;
    const size_t n = static_cast<size_t>(valueLength);
    auto us = [&]() -> int {
      if (n < 2) return 0;
      return big ? (v[0] << 8 | v[1]) : (v[0] | v[1] << 8);
    };

    switch (t) {
      case tag(0x0002, 0x0010):
        if (once.syntax) break;
        once.syntax = true;
        s.TRANSFERT_UID = syntaxOfUid(std::string_view(reinterpret_cast<const char*>(v), n));
        if (s.TRANSFERT_UID == kSyntaxUnknown) return DicomRefusal::Undecodable;
        break;
      case tag(0x0028, 0x1052): s.rescale_intercept = GET_RESCALE(v, n); break;
      case tag(0x0028, 0x1053): s.rescale_slope = GET_RESCALE(v, n); break;
      case tag(0x0028, 0x0008):
        frames = GET_NFRAMES(v, n);
        s.Data_NZ = s.NCZ = static_cast<int>(frames / s.Ninst);
        break;
      case tag(0x0054, 0x0071): {
        const int slots = us();
        if (slots != 8 && slots != 16) return DicomRefusal::TimeSlots;
        if (slots != s.Ninst) {
          s.Ninst = opt.DEFAULT_ninst = slots;
          notes.timeSlotsFixed = slots;
        }
        break;
      }
      case tag(0x0054, 0x0081):
        s.NCZ = s.Data_NZ = us();
        slicesSeen = true;
        break;
      case tag(0x0018, 0x1088):
        GET_PULSE(s, v, n);
        once.heartRate = true;
        s.HEART_RATE = (s.CARD_FREQ_INT > 29 && s.CARD_FREQ_INT <= 240) ? 1 : 0;
        break;
      case tag(0x0018, 0x1062): {
        if (once.interval || once.heartRate) break;
        once.interval = true;
        const int rr = GET_NFRAMES(v, n);
        if (rr <= 0) break;
        const int bpm = static_cast<int>(60000.0 / rr + 0.5);
        s.CARD_FREQ_INT = bpm;
        s.CARD_FREQ = static_cast<float>(bpm);
        s.HEART_RATE = (bpm > 29 && bpm <= 240) ? 1 : 0;
        break;
      }
      case tag(0x0028, 0x0030): {
        if (once.spacing) break;
        once.spacing = true;
        const size_t half = n / 2;
        const float a = GET_VOXZIZE(v, half, kVoxelDigits) / kVoxelDivisor;
        const float c = GET_VOXZIZE(v + half, half, kVoxelDigits) / kVoxelDivisor;
        s.VOXEL_SIZE_XY = (a + c) / 2;
        break;
      }
      case tag(0x0018, 0x0050):
        if (once.thickness) break;
        once.thickness = true;
        s.VOXEL_SIZE_Z = GET_VOXZIZE(v, n, kVoxelDigits) / kVoxelDivisor;
        break;
      case tag(0x0010, 0x0010):
        if (once.name) break;
        once.name = true;
        s.PAT_NAME = GET_ASCII(v, n, 0, true, kPatNameSize);
        s.patname_long = static_cast<int>(n);
        copyRaw(s.patname, v, n);
        break;
      case tag(0x0010, 0x0040):
        if (once.sex) break;
        once.sex = true;
        s.PAT_SEX = GET_ASCII(v, n, 0, true, kPatSexSize);
        copyRaw(s.patsex, v, n);
        break;
      case tag(0x0010, 0x0030):
        if (once.birth) break;
        once.birth = true;
        s.PAT_DATE = GET_ASCII(v, n, 1, true, kPatDateSize);
        FORMAT_DATE(s.PAT_DATE);
        copyRaw(s.patbd, v, n);
        break;
      case tag(0x0010, 0x1010):
        if (once.age) break;
        once.age = true;
        copyRaw(s.patage, v, n);
        break;
      case tag(0x0010, 0x0020): copyRaw(s.patid, v, n); break;
      case tag(0x0008, 0x0022):
        if (once.acqDate) break;
        once.acqDate = true;
        s.ACQ_DATE = GET_ASCII(v, n, 1, true, n + 3);
        FORMAT_DATE(s.ACQ_DATE);
        copyRaw(s.hdate, v, n);
        break;
      case tag(0x0008, 0x0030): copyRaw(s.htime, v, n); break;
      case tag(0x0028, 0x0010):
        if (once.rows) break;
        once.rows = true;
        s.OrImSize_H = us();
        break;
      case tag(0x0028, 0x0011):
        if (once.columns) break;
        once.columns = true;
        s.OrImSize_V = us();
        break;
      case tag(0x0020, 0x0013): s.instance_nb = GET_NFRAMES(v, n); break;
      case tag(0x0018, 0x5100):
        if (once.position) break;
        once.position = true;
        if (n > 0 && v[0] == 'F') s.patient_orientation = 1;
        break;
      case tag(0x0002, 0x0002): copyRaw(s.sopclauid, v, n); break;
      case tag(0x0002, 0x0003): copyRaw(s.sopinsuid, v, n); break;
      case tag(0x0020, 0x000E): copyRaw(s.seriesinsuid, v, n); break;
      case tag(0x0020, 0x0010): copyRaw(s.studyuid, v, n); break;
      default: break;
    }
    p += static_cast<size_t>(std::min<uint64_t>(L + 8, fileSize + 1));
  }

  // Number of Frames comes before Number of Time Slots in the file: divide by the final count.
  if (frames >= 0 && !slicesSeen) s.Data_NZ = s.NCZ = static_cast<int>(frames / s.Ninst);
  if (!once.spacing || !once.thickness) return DicomRefusal::BadVoxelSize;
  if (!once.rows || !once.columns) return DicomRefusal::NotDicom;
  return DicomRefusal::None;
}

namespace {

// Checks what the walk cannot: sizes, capacities and the pixel data inside the file.
DicomRefusal checkAcquisition(const StudyRecord& s, const Options& opt, uint64_t fileSize) {
  if (s.Ninst != 8 && s.Ninst != 16) return DicomRefusal::TimeSlots;
  if (s.OrImSize_H < 1 || s.OrImSize_V < 1 || s.OrImSize_H > kMaxFileImageSide || s.OrImSize_V > kMaxFileImageSide)
    return DicomRefusal::NotDicom;
  if (s.NCZ < 1 || s.Data_NZ < s.NCZ) return DicomRefusal::NotDicom;
  if (s.NCZ > kMaxSlices || (opt.short_axis && s.OrImSize_H > kMaxSlices)) return DicomRefusal::TooManySlices;
  const uint64_t pixels = uint64_t(s.Ninst) * uint64_t(s.Data_NZ) * uint64_t(s.OrImSize_H) * uint64_t(s.OrImSize_V);
  if (s.OFFSET_LEC < 0 || uint64_t(s.OFFSET_LEC) > fileSize || pixels * 2 > fileSize - uint64_t(s.OFFSET_LEC))
    return DicomRefusal::NotDicom;
  if (!(s.VOXEL_SIZE_XY > 0) || !(s.VOXEL_SIZE_Z > 0) || !std::isfinite(s.VOXEL_SIZE_XY) ||
      !std::isfinite(s.VOXEL_SIZE_Z))
    return DicomRefusal::BadVoxelSize;
  return DicomRefusal::None;
}

void showRefusal(DicomRefusal why, const StudyRecord& s, int LANGUE, Platform& platform) {
  switch (why) {
    case DicomRefusal::None:
    case DicomRefusal::NeedMore: return;
    case DicomRefusal::NotDicom: platform.warning(study_texts::kBadDicom.pick(LANGUE)); return;
    case DicomRefusal::Undecodable: platform.warning(study_texts::kDecodeFailure.pick(LANGUE)); return;
    case DicomRefusal::TimeSlots: platform.warning(study_texts::kInstants.pick(LANGUE)); return;
    case DicomRefusal::TooManySlices:
      platform.warning(format(study_texts::kTooManySlices.pick(LANGUE), std::max(s.NCZ, s.OrImSize_H), kMaxSlices));
      return;
    case DicomRefusal::BadVoxelSize: platform.warning(study_texts::kBadVoxelSize.pick(LANGUE)); return;
  }
}

}  // namespace

int LOAD_DCM_DATA(const std::filesystem::path& path, StudyRecord& s, Options& opt, Platform& platform,
                  TraceLog& log) {
  s.IM_FORMAT = kFormatDicom;
  const auto fileSize = fileSizeOf(path);
  auto prefix = fileSize ? readFileRange(path, 0, std::min<uint64_t>(*fileSize, kHeaderPrefix)) : std::nullopt;
  if (!prefix) {
    platform.warning(format(study_texts::kUnreadableFile.pick(opt.LANGUE), path.string().c_str()));
    return 0;
  }
  if (prefix->size() < kFirstElement ||
      std::string_view(reinterpret_cast<const char*>(&(*prefix)[kPreamble]), 4) != "DICM") {
    platform.warning(study_texts::kBadDicom.pick(opt.LANGUE));
    return 0;
  }
  // Work on copies so that a refused file changes nothing, not even the default instant count.
  StudyRecord r;
  Options o;
  DicomWalkNotes notes;
  DicomRefusal why = DicomRefusal::NeedMore;
  while (why == DicomRefusal::NeedMore) {
    r = s;
    o = opt;
    notes = {};
    r.Ninst = o.DEFAULT_ninst;
    r.Data_NZ = static_cast<int>((*fileSize / 2) / (static_cast<uint64_t>(std::max(r.Ninst, 1)) * kSliceVoxels));
    r.NCZ = r.Data_NZ;
    r.HEART_RATE = 0;
    r.CARD_FREQ_INT = o.DEFAULT_freq;
    r.CARD_FREQ = static_cast<float>(o.DEFAULT_freq);
    why = GET_DICOM_INFO(*prefix, *fileSize, r, o, notes, log);
    if (why == DicomRefusal::NeedMore) {
      // Headers with large private groups: read a longer prefix and walk again.
      prefix = readFileRange(path, 0, std::min<uint64_t>(*fileSize, prefix->size() * 4));
      if (!prefix) why = DicomRefusal::Undecodable;
    }
  }
  if (notes.timeSlotsFixed) platform.information(format(study_texts::kTimeSlotsFixed.pick(o.LANGUE), notes.timeSlotsFixed));
  if (why == DicomRefusal::None) why = checkAcquisition(r, o, *fileSize);
  if (why != DicomRefusal::None) {
    log.writef("DICOM file refused (%d): %s\n", static_cast<int>(why), path.string().c_str());
    showRefusal(why, r, o.LANGUE, platform);
    return 0;
  }
  // A rate the file gives but that cannot be used falls back to the default until the user answers.
  if (!r.HEART_RATE) {
    r.CARD_FREQ_INT = o.DEFAULT_freq;
    r.CARD_FREQ = static_cast<float>(o.DEFAULT_freq);
  }
  r.CYCLE = 60000.0f / static_cast<float>(r.Ninst * r.CARD_FREQ_INT);
  r.file_geometry = {r.Ninst, r.NCZ, r.OrImSize_H, r.OrImSize_V};
  r.pat_sex = r.PAT_SEX.starts_with('F') ? 1 : r.PAT_SEX.starts_with('M') ? 2 : 0;
  r.patient_name = r.PAT_NAME + " ( " + r.PAT_DATE + " )  -  Ex : " + r.ACQ_DATE;
  if (r.patient_name.size() >= kPatientNameSize) r.patient_name.resize(kPatientNameSize - 1);
  EVAL_GRADMAX(r, platform, o.LANGUE);
  s = std::move(r);
  opt = o;
  return 1;
}

}  // namespace quorvel
