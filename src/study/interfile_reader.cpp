#include "study/interfile_reader.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "base/byte_reader.h"
#include "study/dicom_reader.h"
#include "study/study_texts.h"
#include "study/timing.h"

namespace quorvel {

namespace {

constexpr uint64_t kMaxHeaderBytes = uint64_t(1) << 20;  // a header is a page of text
constexpr uint64_t kImageBytes = uint64_t(kSliceVoxels) * 2;
constexpr int kVoxelDigits = 4;
constexpr double kMinVoxelMm = 0.1, kMaxVoxelMm = 50;
constexpr size_t kPatNameChars = kPatNameSize - 1;

std::string lower(std::string_view v) {
  std::string out(v);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view trim(std::string_view v) {
  while (!v.empty() && std::isspace(static_cast<unsigned char>(v.front()))) v.remove_prefix(1);
  while (!v.empty() && std::isspace(static_cast<unsigned char>(v.back()))) v.remove_suffix(1);
  return v;
}

const std::string* find(const InterfileKeys& keys, std::string_view key) {
  const auto it = keys.find(key);
  return it == keys.end() ? nullptr : &it->second;
}

bool hasExtension(const std::filesystem::path& p, std::initializer_list<const char*> extensions) {
  const std::string e = lower(p.extension().string());
  return std::any_of(extensions.begin(), extensions.end(), [&](const char* x) { return e == x; });
}

// The header itself, or the one beside a data file (same name up to its last ".").
std::optional<std::filesystem::path> headerOf(const FileSource& files, const std::filesystem::path& p) {
  if (hasExtension(p, {".hdr", ".h33"})) {
    if (files.exists(p)) return p;
    return std::nullopt;
  }
  const std::string root = EXTRACT_INTERFILE_ROOT(p.string());
  for (const char* ext : {"hdr", "h33", "HDR", "H33"})
    if (files.exists(root + ext)) return std::filesystem::path(root + ext);
  return std::nullopt;
}

// Where each instant's images lie and how their values are written.
struct Layout {
  std::vector<std::filesystem::path> files;  // one per instant
  std::vector<uint64_t> offsets;
  bool bigEndian = false, signedValues = false;
};

// A slice count of the header: the last of "number of slices", "number of projections" and
// "total number of images" given with a count.
std::optional<int> sliceCount(const InterfileKeys& keys) {
  for (const char* key : {"number of slices", "number of projections", "total number of images"})
    if (const std::string* v = find(keys, key))
      if (const auto n = GET_INTERFILE_SLICENUMBER(*v); n && *n >= 1) return n;
  return std::nullopt;
}

// The value of a key when it is absent or equal to one of the accepted texts.
bool absentOr(const InterfileKeys& keys, std::string_view key, std::initializer_list<const char*> accepted) {
  const std::string* v = find(keys, key);
  if (!v) return true;
  const std::string l = lower(*v);
  return std::any_of(accepted.begin(), accepted.end(), [&](const char* a) { return l == a; });
}

Status unsupported() { return Refusal::of(RefusalCode::UnsupportedData, study_texts::kUnsupportedInterfile); }
Status unreadable(const std::filesystem::path& p) {
  return Refusal::formatted(RefusalCode::UnreadableFile, study_texts::kUnreadableFile, p.string().c_str());
}

// One data file for the whole cycle when it holds 8 or 16 instants of NCZ images (by the header's
// image count, else by its size); otherwise one file per instant, the first named ...01.ext.
Status layoutOf(const FileSource& files, const InterfileKeys& keys, const std::filesystem::path& chosen,
                const std::filesystem::path& header, int NCZ, int& Ninst, Layout& l) {
  if (!absentOr(keys, "number format", {"unsigned integer", "signed integer"}) ||
      !absentOr(keys, "number of bytes per pixel", {"2"}) || !absentOr(keys, "matrix size [1]", {"64"}) ||
      !absentOr(keys, "matrix size [2]", {"64"}) || !absentOr(keys, "data compression", {"none"}))
    return unsupported();
  l.signedValues = !absentOr(keys, "number format", {"unsigned integer"});
  l.bigEndian = !absentOr(keys, "imagedata byte order", {"littleendian"});
  uint64_t offset = 0;
  if (const std::string* v = find(keys, "data offset in bytes")) {
    const auto o = parseIntegerString(*v);
    if (!o || *o < 0) return unsupported();
    offset = static_cast<uint64_t>(*o);
  }
  std::filesystem::path data = chosen;
  if (data == header) {
    const std::string* name = find(keys, "name of data file");
    if (!name || name->empty()) return Refusal::of(RefusalCode::MissingHeaderInformation, study_texts::kMissingHeaderInformation);
    data = std::filesystem::path(*name).is_absolute() ? std::filesystem::path(*name) : header.parent_path() / *name;
  }
  const uint64_t instantBytes = uint64_t(NCZ) * kImageBytes;
  int whole = 0;
  if (const std::string* v = find(keys, "total number of images"))
    if (const auto n = GET_INTERFILE_SLICENUMBER(*v); n && *n % NCZ == 0) whole = *n / NCZ;
  if (whole != 8 && whole != 16)
    if (const auto size = files.sizeOf(data); size && *size >= offset) whole = static_cast<int>((*size - offset) / instantBytes);
  if (whole == 8 || whole == 16) {
    Ninst = whole;
    for (int t = 0; t < Ninst; ++t) {
      l.files.push_back(data);
      l.offsets.push_back(offset + uint64_t(t) * instantBytes);
    }
    return {};
  }
  // One file per instant: any instant's file names the series, which starts at ...01.
  const std::string stem = data.stem().string(), ext = data.extension().string();
  if (!isNumberedInstant(data))
    return Refusal::formatted(RefusalCode::UnreadableFile, study_texts::kInterfileInstants, NCZ, data.string().c_str());
  const std::string base = (data.parent_path() / stem.substr(0, stem.size() - 2)).string();
  if (!files.exists(BUILD_INTERFILE_EXT(base, 1, ext)))
    return Refusal::formatted(RefusalCode::UnreadableFile, study_texts::kInterfileFirstInstant,
                              BUILD_INTERFILE_EXT(base, 1, ext).c_str());
  Ninst = files.exists(BUILD_INTERFILE_EXT(base, 16, ext)) ? 16 : 8;
  for (int t = 0; t < Ninst; ++t) {
    l.files.emplace_back(BUILD_INTERFILE_EXT(base, t + 1, ext));
    l.offsets.push_back(offset);
  }
  return {};
}

// The voxel size of a scaling factor in millimetres, in centimetres.
std::optional<float> voxelSize(const std::string& v) {
  const auto cm = GET_VOXZIZE(reinterpret_cast<const uint8_t*>(v.data()), v.size(), kVoxelDigits);
  if (!cm || cm->size() != 1) return std::nullopt;
  return cm->front();
}

// Slice spacing given in pixels, when the header gives it: a slice thicker than a pixel is not
// the pixel's second side.
std::optional<float> sliceSpacing(const InterfileKeys& keys, float pixelCm) {
  for (const char* key : {"centre-centre slice separation (pixels)", "slice thickness (pixels)"})
    if (const std::string* v = find(keys, key)) {
      const auto n = parseDecimalStrings(*v);
      if (!n || n->size() != 1) continue;
      const double mm = n->front() * pixelCm * 10;
      if (mm >= kMinVoxelMm && mm <= kMaxVoxelMm) return static_cast<float>(n->front() * pixelCm);
    }
  return std::nullopt;
}

template <bool Big, bool Signed>
void addValues(const std::vector<uint8_t>& bytes, float* dst) {
  for (size_t i = 0; i < bytes.size() / 2; ++i) {
    const uint16_t raw = Big ? uint16_t(bytes[2 * i] << 8 | bytes[2 * i + 1]) : uint16_t(bytes[2 * i + 1] << 8 | bytes[2 * i]);
    dst[i] += Signed ? static_cast<float>(static_cast<int16_t>(raw)) : static_cast<float>(raw);
  }
}

}  // namespace

InterfileKeys parseInterfileHeader(std::string_view text) {
  InterfileKeys keys;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    const size_t sep = line.find(":=");
    if (sep == std::string_view::npos) continue;
    std::string_view key = trim(line.substr(0, sep));
    if (!key.empty() && key.front() == '!') key.remove_prefix(1);
    keys[lower(trim(key))] = std::string(trim(line.substr(sep + 2)));
  }
  return keys;
}

std::string EXTRACT_INTERFILE_ROOT(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ".";
  return path.substr(0, dot + 1);
}

std::string EXTRACT_INTERFILE_PATNAME(std::string_view value) {
  std::string name(value.substr(0, std::min(value.find('\r'), value.size())));
  std::replace(name.begin(), name.end(), '^', ' ');
  if (name.size() > kPatNameChars) name.resize(kPatNameChars);
  return name;
}

std::optional<int> GET_INTERFILE_SLICENUMBER(std::string_view value) {
  const auto n = parseIntegerString(value);
  if (!n || *n < 0 || *n > 1'000'000) return std::nullopt;
  return static_cast<int>(*n);
}

bool isNumberedInstant(const std::filesystem::path& file) {
  const std::string stem = file.stem().string();
  auto digit = [&](size_t back) { return std::isdigit(static_cast<unsigned char>(stem[stem.size() - back])) != 0; };
  return stem.size() >= 2 && digit(1) && digit(2);
}

std::string BUILD_INTERFILE_EXT(const std::string& base, int instant, const std::string& extension) {
  return base + format("%02d", instant) + extension;
}

Status LOAD_IMG_DATA(const FileSource& files, const std::filesystem::path& path, Study& s, const Options& opt) {
  const auto header = headerOf(files, path);
  if (!header) return Refusal::of(RefusalCode::NoHeaderFile, study_texts::kNoHeaderFile);
  const auto size = files.sizeOf(*header);
  if (!size || *size > kMaxHeaderBytes)
    return Refusal::of(RefusalCode::MissingHeaderInformation, study_texts::kMissingHeaderInformation);
  const auto text = files.readWhole(*header);
  if (!text) return unreadable(*header);
  const InterfileKeys keys = parseInterfileHeader(std::string_view(reinterpret_cast<const char*>(text->data()), text->size()));

  const std::string *name = find(keys, "patient name"), *sex = find(keys, "patient sex"),
                    *dob = find(keys, "patient dob"), *date = find(keys, "study date"),
                    *pixel = find(keys, "scaling factor (mm/pixel) [1]");
  const auto NCZ = sliceCount(keys);
  if (!name || !sex || !dob || !date || !pixel || !NCZ)
    return Refusal::of(RefusalCode::MissingHeaderInformation, study_texts::kMissingHeaderInformation);
  if (*NCZ > kMaxSlices)
    return Refusal::formatted(RefusalCode::TooManySlices, study_texts::kTooManySlices, *NCZ, kMaxSlices);
  const auto xy = voxelSize(*pixel);
  const std::string* second = find(keys, "scaling factor (mm/pixel) [2]");
  const auto z = second ? voxelSize(*second) : xy;
  if (!xy || !z) return Refusal::of(RefusalCode::BadVoxelSize, study_texts::kBadVoxelSize);

  Layout layout;
  int fileInstants = 0;
  if (Status l = layoutOf(files, keys, path, *header, *NCZ, fileInstants, layout); !l) return l;
  const uint64_t instantBytes = uint64_t(*NCZ) * kImageBytes;
  for (size_t t = 0; t < layout.files.size(); ++t) {
    const auto fileSize = files.sizeOf(layout.files[t]);
    if (!fileSize || *fileSize < layout.offsets[t] || *fileSize - layout.offsets[t] < instantBytes)
      return unreadable(layout.files[t]);
  }

  Study n;
  static_cast<StudyRecord&>(n) = s;
  n.IM_FORMAT = kFormatInterfile;
  // Each study instant is the mean of the file instants it gathers.
  const bool rebin = fileInstants == 16 && opt.RECH_8;
  n.Ninst = rebin ? 8 : fileInstants;
  n.NCZ = n.Data_NZ = *NCZ;
  n.czmin = 0;
  n.OrImSize_H = n.OrImSize_V = kMatrix;
  n.OFFSET_LEC = static_cast<long long>(layout.offsets.front());
  n.file_geometry = {n.Ninst, n.NCZ, kMatrix, kMatrix};
  n.DATA.assign(static_cast<size_t>(n.Ninst) * n.NCZ * kSliceVoxels, 0.0f);
  for (int t = 0; t < fileInstants; ++t) {
    const auto bytes = files.read(layout.files[t], layout.offsets[t], instantBytes);
    if (!bytes) return unreadable(layout.files[t]);
    float* dst = &n.DATA[Study::index(n.NCZ, rebin ? t / 2 : t, 0, 0, 0)];
    if (layout.bigEndian)
      layout.signedValues ? addValues<true, true>(*bytes, dst) : addValues<true, false>(*bytes, dst);
    else
      layout.signedValues ? addValues<false, true>(*bytes, dst) : addValues<false, false>(*bytes, dst);
  }
  if (rebin)
    for (float& v : n.DATA) v /= 2;

  n.VOXEL_SIZE_XY = *xy;
  n.VOXEL_SIZE_Z = sliceSpacing(keys, *xy).value_or(*z);
  n.PAT_NAME = EXTRACT_INTERFILE_PATNAME(*name);
  n.PAT_SEX = sex->substr(0, 1);
  n.PAT_DATE = dob->substr(0, 10);
  FORMAT_DATE(n.PAT_DATE);
  n.ACQ_DATE = date->substr(0, 10);
  FORMAT_DATE(n.ACQ_DATE);
  n.pat_sex = n.PAT_SEX == "F" ? 1 : n.PAT_SEX == "M" ? 2 : 0;
  n.patient_name = n.PAT_NAME + " ( " + n.PAT_DATE + " )  -  Ex : " + n.ACQ_DATE;
  if (n.patient_name.size() >= kPatientNameSize) n.patient_name.resize(kPatientNameSize - 1);
  // Interfile gives no heart rate: the default until the user answers.
  n.HEART_RATE = 0;
  n.CARD_FREQ_INT = opt.DEFAULT_freq;
  n.CARD_FREQ = static_cast<float>(opt.DEFAULT_freq);
  n.CYCLE = 60000.0f / static_cast<float>(n.Ninst * opt.DEFAULT_freq);
  n.rescale_slope = -1;
  n.rescale_intercept = 0;
  s = std::move(n);
  return {};
}

}  // namespace quorvel
