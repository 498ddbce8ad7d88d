#include "study/dicom_reader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <string_view>

#include "study/dicom_dictionary.h"
#include "study/dicom_elements.h"
#include "study/study_texts.h"
#include "study/timing.h"

namespace quorvel {

namespace {

constexpr int kVoxelDigits = 4;

// An identity text as the file holds it, without its padding, at most the VR's own length.
std::string identityText(const uint8_t* v, size_t n, size_t most) {
  std::string t(reinterpret_cast<const char*>(v), std::min(n, most));
  t = t.substr(0, t.find('\0'));
  while (!t.empty() && t.back() == ' ') t.pop_back();
  return t;
}

// A UID value without its padding; empty when it is not a well-formed UID.
std::string trimmedUid(const uint8_t* v, size_t n) {
  std::string uid(reinterpret_cast<const char*>(v), n);
  while (!uid.empty() && (uid.back() == '\0' || uid.back() == ' ')) uid.pop_back();
  return isWellFormedUid(uid) ? uid : std::string();
}
constexpr float kVoxelDivisor = 10000.0f;
constexpr double kMinVoxelMm = 0.1, kMaxVoxelMm = 50;
// Rescaled counts must stay far inside the int range that the later stages convert them to.
constexpr float kMaxRescaleSlope = 1.0e4f, kMaxRescaleIntercept = 1.0e6f;
constexpr size_t kQuotedValue = 32;  // characters of a refused value shown in a message
constexpr uint64_t kHeaderPrefix = 64 * 1024;  // enough for the header of most files

constexpr uint32_t tag(uint16_t g, uint16_t e) { return dicomTag(g, e); }

bool isDigit19(uint8_t c) { return c >= '1' && c <= '9'; }

std::string_view asText(const uint8_t* src, size_t len) { return {reinterpret_cast<const char*>(src), len}; }

// Spaces pad text values; some writers pad with a zero byte instead.
std::string_view trimValue(std::string_view v) {
  while (!v.empty() && (v.back() == ' ' || v.back() == '\0')) v.remove_suffix(1);
  while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
  return v;
}

// A value as a message may quote it: printable characters only, and not too many.
std::string quoted(const uint8_t* src, size_t len) {
  std::string out;
  for (char c : trimValue(asText(src, len))) {
    if (out.size() >= kQuotedValue) break;
    out += (c >= ' ' && c <= '~') ? c : '?';
  }
  return out;
}

// Feet-first in the Patient Gantry Relationship Code Sequence: SNOMED CT or its older SNOMED RT code.
bool isFeetFirstCode(std::string_view code) { return code == "102541007" || code == "F-10480"; }

// Elements that describe the acquisition's own image; nested images (icons) have their own.
bool isGeometry(uint32_t t) {
  switch (t) {
    case tag(0x0028, 0x0008): case tag(0x0028, 0x0010): case tag(0x0028, 0x0011): case tag(0x0028, 0x0030):
    case tag(0x0018, 0x0050): case tag(0x0054, 0x0071): case tag(0x0054, 0x0081):
      return true;
    default:
      return false;
  }
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

std::optional<std::vector<double>> parseDecimalStrings(std::string_view text) {
  std::vector<double> values;
  for (;;) {
    const size_t cut = text.find('\\');
    std::string_view v = trimValue(text.substr(0, cut));
    // from_chars takes no plus sign; a sign after it would then be read as the number's own.
    if (v.size() > 1 && v[0] == '+' && v[1] != '+' && v[1] != '-') v.remove_prefix(1);
    double d = 0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), d);
    if (v.empty() || ec != std::errc{} || end != v.data() + v.size() || !std::isfinite(d)) return std::nullopt;
    values.push_back(d);
    if (cut == std::string_view::npos) return values;
    text.remove_prefix(cut + 1);
  }
}

std::optional<long long> parseIntegerString(std::string_view text) {
  std::string_view v = trimValue(text);
  if (v.size() > 1 && v[0] == '+' && v[1] != '+' && v[1] != '-') v.remove_prefix(1);
  long long n = 0;
  const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
  if (v.empty() || ec != std::errc{} || end != v.data() + v.size()) return std::nullopt;
  return n;
}

std::optional<std::vector<float>> GET_VOXZIZE(const uint8_t* src, size_t len, int n) {
  const auto mm = parseDecimalStrings(asText(src, len));
  if (!mm) return std::nullopt;
  std::vector<float> cm;
  for (double v : *mm) {
    if (!(v >= kMinVoxelMm && v <= kMaxVoxelMm)) return std::nullopt;
    // The first n significant digits, weighted as an n-digit integer, and the decade of the
    // value: the arithmetic that has always turned 4.7952 into 0.4795.
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    if (ec != std::errc{}) return std::nullopt;
    const std::string_view sci(buf, static_cast<size_t>(end - buf));
    const size_t e = sci.find('e');
    int digits = 0, taken = 0;
    for (size_t i = 0; i < e && taken < n; ++i)
      if (sci[i] >= '0' && sci[i] <= '9') {
        digits = digits * 10 + (sci[i] - '0');
        ++taken;
      }
    for (; taken < n; ++taken) digits *= 10;
    const std::string_view exponent = sci.substr(e + (sci[e + 1] == '+' ? 2 : 1));
    int decade = 0;
    std::from_chars(exponent.data(), exponent.data() + exponent.size(), decade);
    const float sum = static_cast<float>(digits);
    const float scaled = decade == 0 ? sum : static_cast<float>(sum * std::pow(10.0, decade));
    cm.push_back(scaled / kVoxelDivisor);
  }
  return cm;
}

std::optional<int> GET_NFRAMES(const uint8_t* src, size_t len) {
  const auto v = parseIntegerString(asText(src, len));
  if (!v || *v < INT_MIN || *v > INT_MAX) return std::nullopt;
  return static_cast<int>(*v);
}

bool GET_PULSE(StudyRecord& s, const uint8_t* src, size_t len) {
  const auto v = GET_NFRAMES(src, len);
  if (!v) return false;
  s.CARD_FREQ_INT = *v;
  s.CARD_FREQ = static_cast<float>(*v);
  if (*v >= 1) s.CYCLE = 60000.0f / (static_cast<float>(s.Ninst) * static_cast<float>(*v));
  return true;
}

std::optional<float> GET_RESCALE(const uint8_t* src, size_t len) {
  const auto v = parseDecimalStrings(asText(src, len));
  if (!v || v->size() != 1) return std::nullopt;
  const float f = static_cast<float>(v->front());
  if (!std::isfinite(f)) return std::nullopt;
  return f;
}

DicomRefusal GET_DICOM_INFO(std::span<const uint8_t> file, uint64_t fileSize, StudyRecord& s, Options& opt,
                            DicomWalkNotes& notes, TraceLog& log) {
  s.TRANSFERT_UID = kSyntaxUnknown;
  s.rescale_intercept = 0;
  s.rescale_slope = -1;
  s.patient_orientation = 0;
  ReadOnce once;
  long long frames = -1;
  bool slicesSeen = false;
  // Head or feet first as NM files code it, for files without a Patient Position.
  int gantryDepth = -1;  // depth of the gantry relationship's items while inside them
  std::optional<bool> gantryFeetFirst;
  DicomElementWalker walk(file, fileSize);

  for (DicomElement e;;) {
    switch (walk.next(e)) {
      case WalkStatus::NeedMore: return DicomRefusal::NeedMore;
      case WalkStatus::Undecodable: return DicomRefusal::Undecodable;
      case WalkStatus::Element: break;
    }
    if (log.enabled())
      log.writef("DICOM (%04X,%04X) %c%c  p = %llu  L = %llu\n", e.group, e.element, e.vr[0], e.vr[1],
                 static_cast<unsigned long long>(e.offset), static_cast<unsigned long long>(e.stepped - 8));
    uint32_t t = e.tag();
    // The acquisition's own geometry and pixel data are those of the data set itself, not of an
    // icon or other image nested in a sequence.
    const bool topLevel = e.depth == 0;
    if (t == tag(0x7FE0, 0x0010) && topLevel) {
      s.OFFSET_LEC = static_cast<long long>(e.valueOffset);
      notes.pixelLength = e.valueLength;
      break;
    }
    switch (walk.checkValue(e)) {
      case WalkStatus::NeedMore: return DicomRefusal::NeedMore;
      case WalkStatus::Undecodable: return DicomRefusal::Undecodable;
      case WalkStatus::Element: break;
    }
    const std::span<const uint8_t> value = walk.value(e);
    const uint8_t* v = value.data();
    const size_t n = value.size();
    const bool big = e.bigEndian;
    auto us = [&]() -> int {
      if (n < 2) return 0;
      return big ? (v[0] << 8 | v[1]) : (v[0] | v[1] << 8);
    };
    const bool blank = trimValue(asText(v, n)).empty();  // an empty text value counts as absent
    if (!topLevel && isGeometry(t)) t = 0;  // handled by no case below
    if (gantryDepth >= 0 && e.depth < gantryDepth) gantryDepth = -1;
    if (t == tag(0x0054, 0x0414) && topLevel) gantryDepth = 1;
    if (t == tag(0x0008, 0x0100) && gantryDepth >= 0 && e.depth == gantryDepth && !gantryFeetFirst)
      gantryFeetFirst = isFeetFirstCode(trimValue(asText(v, n)));

    switch (t) {
      case tag(0x0002, 0x0010):
        if (once.syntax) break;
        once.syntax = true;
        s.TRANSFERT_UID = syntaxOfUid(std::string_view(reinterpret_cast<const char*>(v), n));
        if (s.TRANSFERT_UID == kSyntaxUnknown) return DicomRefusal::Undecodable;
        walk.setSyntax(static_cast<TransferSyntax>(s.TRANSFERT_UID));
        break;
      case tag(0x0028, 0x1052): {
        if (blank) break;
        const auto intercept = GET_RESCALE(v, n);
        if (!intercept || std::fabs(*intercept) > kMaxRescaleIntercept) return DicomRefusal::BadRescale;
        s.rescale_intercept = *intercept;
        break;
      }
      case tag(0x0028, 0x1053): {
        if (blank) break;
        const auto slope = GET_RESCALE(v, n);
        if (!slope || !(*slope > 0) || *slope > kMaxRescaleSlope) return DicomRefusal::BadRescale;
        s.rescale_slope = *slope;
        break;
      }
      case tag(0x0028, 0x0008): {
        if (blank) break;
        notes.frames = quoted(v, n);
        const auto count = GET_NFRAMES(v, n);
        if (!count || *count < 1) return DicomRefusal::BadFrameCount;
        frames = *count;
        notes.frameCount = frames;
        s.Data_NZ = s.NCZ = static_cast<int>(frames / s.Ninst);
        break;
      }
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
        s.NCZ = s.Data_NZ = notes.slices = us();
        slicesSeen = true;
        break;
      case tag(0x0018, 0x1088):
        if (blank) break;
        // Not an integer: as if absent (a Nominal Interval may still give the rate).
        if (GET_PULSE(s, v, n)) {
          once.heartRate = true;
          s.HEART_RATE = (s.CARD_FREQ_INT > 29 && s.CARD_FREQ_INT <= 240) ? 1 : 0;
        }
        notes.badHeartRate = once.heartRate && s.HEART_RATE ? std::string() : quoted(v, n);
        break;
      case tag(0x0018, 0x1062): {
        if (once.interval || once.heartRate) break;
        const auto rr = GET_NFRAMES(v, n);
        if (!rr || *rr <= 0) break;  // not an interval: as if absent
        once.interval = true;
        const int bpm = static_cast<int>(60000.0 / *rr + 0.5);
        s.CARD_FREQ_INT = bpm;
        s.CARD_FREQ = static_cast<float>(bpm);
        s.HEART_RATE = (bpm > 29 && bpm <= 240) ? 1 : 0;
        break;
      }
      case tag(0x0028, 0x0030): {
        if (once.spacing) break;
        once.spacing = true;
        // Row and column spacing; one value stands for both.
        const auto cm = GET_VOXZIZE(v, n, kVoxelDigits);
        if (!cm || cm->size() > 2) return DicomRefusal::BadVoxelSize;
        s.VOXEL_SIZE_XY = (cm->front() + cm->back()) / 2;
        break;
      }
      case tag(0x0018, 0x0050): {
        if (once.thickness) break;
        once.thickness = true;
        const auto cm = GET_VOXZIZE(v, n, kVoxelDigits);
        if (!cm || cm->size() != 1) return DicomRefusal::BadVoxelSize;
        s.VOXEL_SIZE_Z = cm->front();
        break;
      }
      case tag(0x0010, 0x0010):
        if (once.name) break;
        once.name = true;
        s.PAT_NAME = GET_ASCII(v, n, 0, true, kPatNameSize);
        s.patname_long = static_cast<int>(std::min<size_t>(n, s.patname.size()));
        copyRaw(s.patname, v, n);
        s.dicomPatientName = identityText(v, n, kDicomPersonNameMax);
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
      case tag(0x0010, 0x0020):
        copyRaw(s.patid, v, n);
        s.dicomPatientId = identityText(v, n, kDicomLongStringMax);
        break;
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
      case tag(0x0020, 0x0013): s.instance_nb = GET_NFRAMES(v, n).value_or(0); break;
      case tag(0x0018, 0x5100):
        if (once.position) break;
        once.position = true;
        if (n > 0 && v[0] == 'F') s.patient_orientation = 1;
        break;
      case tag(0x0002, 0x0002): copyRaw(s.sopclauid, v, n); break;
      case tag(0x0002, 0x0003): copyRaw(s.sopinsuid, v, n); break;
      case tag(0x0020, 0x000E): copyRaw(s.seriesinsuid, v, n); break;
      case tag(0x0020, 0x0010): copyRaw(s.studyuid, v, n); break;
      case tag(0x0020, 0x000D): s.studyInstanceUid = trimmedUid(v, n); break;
      default: break;
    }
  }

  // Number of Frames comes before Number of Time Slots in the file: divide by the final count.
  if (frames >= 0 && !slicesSeen) s.Data_NZ = s.NCZ = static_cast<int>(frames / s.Ninst);
  if (frames >= 0 && slicesSeen && frames != static_cast<long long>(s.Ninst) * notes.slices)
    return DicomRefusal::BadFrameCount;
  if (!once.spacing || !once.thickness) return DicomRefusal::BadVoxelSize;
  if (!once.rows || !once.columns) return DicomRefusal::NotDicom;
  if (!once.position && gantryFeetFirst) s.patient_orientation = *gantryFeetFirst ? 1 : 0;
  return DicomRefusal::None;
}

namespace {

// Checks what the walk cannot: sizes, capacities and the pixel data inside the file.
DicomRefusal checkAcquisition(const StudyRecord& s, const Options& opt, uint64_t fileSize,
                              const DicomWalkNotes& notes) {
  if (s.Ninst != 8 && s.Ninst != 16) return DicomRefusal::TimeSlots;
  if (s.OrImSize_H < 1 || s.OrImSize_V < 1 || s.OrImSize_H > kMaxFileImageSide || s.OrImSize_V > kMaxFileImageSide)
    return DicomRefusal::NotDicom;
  if (s.NCZ < 1 || s.Data_NZ < s.NCZ) return DicomRefusal::NotDicom;
  if (s.NCZ > kMaxSlices || (opt.short_axis && s.OrImSize_H > kMaxSlices)) return DicomRefusal::TooManySlices;
  const uint64_t pixels = uint64_t(s.Ninst) * uint64_t(s.Data_NZ) * uint64_t(s.OrImSize_H) * uint64_t(s.OrImSize_V);
  // The images must lie inside the pixel data element, not merely inside the file.
  if (s.OFFSET_LEC < 0 || uint64_t(s.OFFSET_LEC) > fileSize || pixels * 2 > fileSize - uint64_t(s.OFFSET_LEC) ||
      pixels * 2 > notes.pixelLength)
    return DicomRefusal::NotDicom;
  if (!(s.VOXEL_SIZE_XY > 0) || !(s.VOXEL_SIZE_Z > 0) || !std::isfinite(s.VOXEL_SIZE_XY) ||
      !std::isfinite(s.VOXEL_SIZE_Z))
    return DicomRefusal::BadVoxelSize;
  return DicomRefusal::None;
}

Refusal refusalFor(DicomRefusal why, const StudyRecord& s, const DicomWalkNotes& notes) {
  switch (why) {
    case DicomRefusal::Undecodable: return Refusal::of(RefusalCode::Undecodable, study_texts::kDecodeFailure);
    case DicomRefusal::TimeSlots: return Refusal::of(RefusalCode::TimeSlots, study_texts::kInstants);
    case DicomRefusal::TooManySlices:
      return Refusal::formatted(RefusalCode::TooManySlices, study_texts::kTooManySlices, std::max(s.NCZ, s.OrImSize_H),
                                kMaxSlices);
    case DicomRefusal::BadVoxelSize: return Refusal::of(RefusalCode::BadVoxelSize, study_texts::kBadVoxelSize);
    case DicomRefusal::BadRescale: return Refusal::of(RefusalCode::BadRescale, study_texts::kBadRescale);
    case DicomRefusal::BadFrameCount:
      if (notes.slices >= 0)
        return Refusal::formatted(RefusalCode::BadFrameCount, study_texts::kFrameMismatch, notes.frames.c_str(), s.Ninst,
                                  notes.slices);
      return Refusal::formatted(RefusalCode::BadFrameCount, study_texts::kBadFrameCount, notes.frames.c_str());
    default: return Refusal::of(RefusalCode::NotDicom, study_texts::kBadDicom);
  }
}

}  // namespace

Status LOAD_DCM_DATA(const FileSource& files, const std::filesystem::path& path, StudyRecord& s, Options& opt,
                     TraceLog& log, Notices& notices) {
  s.IM_FORMAT = kFormatDicom;
  const auto fileSize = files.sizeOf(path);
  auto prefix = fileSize ? files.read(path, 0, std::min<uint64_t>(*fileSize, kHeaderPrefix)) : std::nullopt;
  if (!prefix) return Refusal::formatted(RefusalCode::UnreadableFile, study_texts::kUnreadableFile, path.string().c_str());
  if (prefix->size() < kDicomFirstElement ||
      std::string_view(reinterpret_cast<const char*>(&(*prefix)[kDicomPreamble]), 4) != "DICM")
    return Refusal::of(RefusalCode::NotDicom, study_texts::kBadDicom);
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
      prefix = files.read(path, 0, std::min<uint64_t>(*fileSize, prefix->size() * 4));
      if (!prefix) why = DicomRefusal::Undecodable;
    }
  }
  if (notes.timeSlotsFixed)
    notices.push_back(Notice::formatted(false, study_texts::kTimeSlotsFixed, notes.timeSlotsFixed));
  if (why == DicomRefusal::None) why = checkAcquisition(r, o, *fileSize, notes);
  if (why != DicomRefusal::None) {
    log.writef("DICOM file refused (%d): %s\n", static_cast<int>(why), path.string().c_str());
    return refusalFor(why, r, notes);
  }
  // A rate the file gives but that cannot be used falls back to the default until the user answers.
  if (!r.HEART_RATE) {
    r.CARD_FREQ_INT = o.DEFAULT_freq;
    r.CARD_FREQ = static_cast<float>(o.DEFAULT_freq);
    if (!notes.badHeartRate.empty())
      notices.push_back(Notice::formatted(true, study_texts::kBadHeartRate, notes.badHeartRate.c_str()));
  }
  r.CYCLE = 60000.0f / static_cast<float>(r.Ninst * r.CARD_FREQ_INT);
  r.file_geometry = {r.Ninst, r.NCZ, r.OrImSize_H, r.OrImSize_V};
  r.pat_sex = r.PAT_SEX.starts_with('F') ? 1 : r.PAT_SEX.starts_with('M') ? 2 : 0;
  r.patient_name = r.PAT_NAME + " ( " + r.PAT_DATE + " )  -  Ex : " + r.ACQ_DATE;
  if (r.patient_name.size() >= kPatientNameSize) r.patient_name.resize(kPatientNameSize - 1);
  if (!EVAL_GRADMAX(r)) notices.push_back(lowHeartRate());
  s = std::move(r);
  opt = o;
  return {};
}

}  // namespace quorvel
