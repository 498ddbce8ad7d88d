#include "study/loading.h"

#include <algorithm>
#include <cctype>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <new>

#include "base/byte_reader.h"
#include "base/large_buffers.h"
#include "study/dicom_reader.h"
#include "study/idb_reader.h"
#include "study/interfile_reader.h"
#include "study/study_model.h"
#include "study/study_texts.h"
#include "study/timing.h"

namespace quorvel {

namespace {

constexpr int kRebinnedInstants = 8;

bool isDicomLike(int format) { return format == kFormatDicom || format == kFormatIma; }

constexpr size_t kReadChunk = size_t(1) << 20;  // bytes per read of the centroid pass

// How the file's voxels map onto the study: which file instants sum into each study instant,
// and the study's slice, row and column axes after the short-axis transposition.
struct Extraction {
  int fileInstants = 0, instants = 0;
  int fileSlices = 0, czmin = 0, Data_NZ = 0;  // slices read per instant, first one, slices stored
  int H = 0, V = 0;                            // file image rows and columns
  bool rebin = false, transposed = false;
  bool bigEndian = false, unsignedValues = false;
  int slices = 0, rows = 0, columns = 0;  // the study's axes before the crop

  size_t rowBytes() const { return static_cast<size_t>(V) * 2; }
  size_t sliceBytes() const { return static_cast<size_t>(H) * rowBytes(); }
  uint64_t sliceOffset(int ft, int fz) const {
    return (static_cast<uint64_t>(Data_NZ) * ft + czmin + fz) * sliceBytes();
  }
  int studyInstant(int ft) const { return rebin ? ft / 2 : ft; }
};

Extraction extractionOf(const StudyRecord& s, const Options& opt) {
  Extraction e;
  const FileGeometry& g = s.file_geometry;
  e.fileInstants = g.Ninst;
  e.rebin = g.Ninst == 16 && opt.RECH_8;
  e.instants = e.rebin ? kRebinnedInstants : g.Ninst;
  e.fileSlices = s.NCZ;
  e.czmin = std::max(s.czmin, 0);
  e.Data_NZ = s.Data_NZ;
  e.H = g.OrImSize_H;
  e.V = g.OrImSize_V;
  e.unsignedValues = s.IM_FORMAT == kFormatIdb;
  e.bigEndian = e.unsignedValues || s.TRANSFERT_UID == kExplicitBig;
  e.transposed = opt.short_axis && isDicomLike(s.IM_FORMAT);
  // Short-axis input: file value (t, z, x, y) belongs at (t, H-1-x, z, y).
  e.slices = e.transposed ? e.H : e.fileSlices;
  e.rows = e.transposed ? e.fileSlices : e.H;
  e.columns = e.V;
  return e;
}

template <bool Big, bool Unsigned>
inline int32_t decodeValue(const uint8_t* p) {
  uint16_t raw;
  std::memcpy(&raw, p, 2);
  if (Big != (std::endian::native == std::endian::big)) raw = static_cast<uint16_t>(raw << 8 | raw >> 8);
  return Unsigned ? static_cast<int32_t>(raw) : static_cast<int32_t>(static_cast<int16_t>(raw));
}

// Calls f.template operator()<Big, Unsigned>() for the file's encoding, so that the inner loops
// decode with constants.
template <typename F>
void withEncoding(const Extraction& e, F&& f) {
  if (e.unsignedValues)
    f.template operator()<true, true>();
  else if (e.bigEndian)
    f.template operator()<true, false>();
  else
    f.template operator()<false, false>();
}

// Count sums of one file slice, negative values counting as none: the total and the totals
// weighted by row and by column. Per-row and per-column sums fit 32 bits for sides up to 1024.
struct SliceCounts {
  int64_t total = 0, byRow = 0, byColumn = 0;
};
template <bool Big, bool Unsigned>
SliceCounts sliceCounts(const uint8_t* slice, int H, int V, std::vector<int32_t>& columnSums) {
  SliceCounts c;
  std::fill(columnSums.begin(), columnSums.end(), 0);
  for (int x = 0; x < H; ++x) {
    const uint8_t* row = slice + static_cast<size_t>(x) * V * 2;
    int32_t rowSum = 0;
    for (int y = 0; y < V; ++y) {
      const int32_t v = std::max(decodeValue<Big, Unsigned>(row + 2 * y), 0);
      columnSums[y] += v;
      rowSum += v;
    }
    c.total += rowSum;
    c.byRow += static_cast<int64_t>(x) * rowSum;
  }
  for (int y = 0; y < V; ++y) c.byColumn += static_cast<int64_t>(y) * columnSums[y];
  return c;
}

// Count centroid (row, column) in the study's axes over every voxel read, from whole slices
// read a chunk at a time. Sums are exact integers, so the order of summation does not matter.
// Without any count the centroid is (0, 0).
bool countCentroid(const PixelBlock& px, const Extraction& e, double& cx, double& cy) {
  const size_t perRead = std::max<size_t>(1, kReadChunk / e.sliceBytes());
  std::vector<uint8_t> buf(std::min<size_t>(perRead, static_cast<size_t>(e.fileSlices)) * e.sliceBytes());
  std::vector<int32_t> columnSums(static_cast<size_t>(e.V));
  int64_t total = 0, sx = 0, sy = 0;
  bool ok = true;
  withEncoding(e, [&]<bool Big, bool Unsigned>() {
    for (int ft = 0; ft < e.fileInstants && ok; ++ft)
      for (int z0 = 0; z0 < e.fileSlices && ok; z0 += static_cast<int>(perRead)) {
        const int n = std::min(static_cast<int>(perRead), e.fileSlices - z0);
        if (!(ok = px.read(e.sliceOffset(ft, z0), n * e.sliceBytes(), buf.data()))) break;
        for (int k = 0; k < n; ++k) {
          const SliceCounts c = sliceCounts<Big, Unsigned>(&buf[k * e.sliceBytes()], e.H, e.V, columnSums);
          total += c.total;
          sy += c.byColumn;
          sx += e.transposed ? static_cast<int64_t>(z0 + k) * c.total : c.byRow;
        }
      }
  });
  cx = total > 0 ? std::clamp(static_cast<double>(sx) / static_cast<double>(total), 0.0, e.rows - 1.0) : 0;
  cy = total > 0 ? std::clamp(static_cast<double>(sy) / static_cast<double>(total), 0.0, e.columns - 1.0) : 0;
  return ok;
}

// Origin of the 64-wide window along one axis of size n, from the count centroid c.
int windowOrigin(int n, double c, int manualShift) {
  if (n >= kMatrix) return std::max(0, manualShift + static_cast<int>(std::trunc(c + 0.5)) - kMatrix / 2);
  return (n - kMatrix) / 2;  // negative: the small image is centred
}

// DATA[t][z][x][y] = sum over the file instants of t of the study-axes value at (z, x0 + x, y0 + y),
// 0 outside the image. DATA must hold zeros. Reads only the rows the window needs.
bool fillWorkingMatrix(const PixelBlock& px, const Extraction& e, int x0, int y0, Study& s) {
  const int c0 = std::max(y0, 0), c1 = std::min(y0 + kMatrix, e.columns);
  std::vector<uint8_t> buf(e.sliceBytes());
  bool ok = true;
  withEncoding(e, [&]<bool Big, bool Unsigned>() {
    auto addRow = [&](const uint8_t* row, float* dst) {
      for (int y = c0; y < c1; ++y) dst[y - y0] += static_cast<float>(decodeValue<Big, Unsigned>(row + 2 * y));
    };
    for (int ft = 0; ft < e.fileInstants && ok; ++ft) {
      const int t = e.studyInstant(ft);
      for (int fz = 0; fz < e.fileSlices && ok; ++fz) {
        if (e.transposed) {
          // File slice fz is study row fz; file row fx is study slice H-1-fx.
          const int x = fz - x0;
          if (x < 0 || x >= kMatrix) continue;
          if (!(ok = px.read(e.sliceOffset(ft, fz), e.sliceBytes(), buf.data()))) break;
          for (int fx = 0; fx < e.H; ++fx) addRow(&buf[fx * e.rowBytes()], &s.at(t, e.H - 1 - fx, x, 0));
        } else {
          const int r0 = std::max(x0, 0), r1 = std::min(x0 + kMatrix, e.rows);
          if (r0 >= r1) continue;
          if (!(ok = px.read(e.sliceOffset(ft, fz) + r0 * e.rowBytes(), (r1 - r0) * e.rowBytes(), buf.data()))) break;
          for (int fx = r0; fx < r1; ++fx) addRow(&buf[(fx - r0) * e.rowBytes()], &s.at(t, fz, fx - x0, 0));
        }
      }
    }
  });
  return ok;
}

// The slice of the count centroid, for the segmentation mosaic to centre on.
// DATA holds whole counts here, so every sum is an exact integer whatever its order.
int countCentreSlice(const Study& s) {
  double sz = 0, total = 0;
  for (int t = 0; t < s.Ninst; ++t)
    for (int z = 0; z < s.NCZ; ++z) {
      const float* v = &s.DATA[Study::index(s.NCZ, t, z, 0, 0)];
      double part[4] = {};
      for (int i = 0; i < kSliceVoxels; i += 4)
        for (int k = 0; k < 4; ++k) part[k] += v[i + k];
      const double slice = (part[0] + part[1]) + (part[2] + part[3]);
      sz += z * slice;
      total += slice;
    }
  return total > 0 ? static_cast<int>(std::trunc(sz / total + 0.5)) : 0;
}

void applyRescaleAndStartSlice(Study& s) {
  if (s.rescale_slope > 0)
    for (float& v : s.DATA) v = v * s.rescale_slope + s.rescale_intercept;
  double best = 0;
  for (int z = 0; z < s.NCZ; ++z) {
    double total = 0;
    for (int t = 0; t < s.Ninst; ++t) {
      const float* p = &s.DATA[Study::index(s.NCZ, t, z, 0, 0)];
      for (int i = 0; i < kSliceVoxels; ++i) total += p[i];
    }
    if (total > best) {
      best = total;
      s.coupe = z;
    }
  }
}

// Bytes of the pixel block the header describes.
uint64_t pixelBlockBytes(const StudyRecord& s) {
  const FileGeometry& g = s.file_geometry;
  return uint64_t(std::max(g.Ninst, 0)) * uint64_t(std::max(s.Data_NZ, 0)) * uint64_t(std::max(g.OrImSize_H, 0)) *
         uint64_t(std::max(g.OrImSize_V, 0)) * 2;
}

bool pixelBlockComplete(const StudyRecord& s, uint64_t blockSize) {
  const FileGeometry& g = s.file_geometry;
  if (g.Ninst < 1 || s.Data_NZ < 1 || g.OrImSize_H < 1 || g.OrImSize_V < 1) return false;
  if (std::max(s.czmin, 0) + s.NCZ > s.Data_NZ) return false;
  return pixelBlockBytes(s) <= blockSize;
}

// A new file's patient and identifiers are its own: none of the previous study's may stay behind
// when the file lacks them (they go into exams and reports).
void clearPatientIdentity(StudyRecord& s) {
  s.PAT_NAME.clear();
  s.PAT_SEX.clear();
  s.PAT_DATE.clear();
  s.ACQ_DATE.clear();
  s.patient_name.clear();
  s.pat_sex = 0;
  s.patname = {};
  s.patname_long = 0;
  s.patsex = {};
  s.patbd = {};
  s.patage = {};
  s.patid = {};
  s.hdate = {};
  s.htime = {};
  s.sopclauid = {};
  s.sopinsuid = {};
  s.seriesinsuid = {};
  s.studyuid = {};
  s.instance_nb = 0;
  s.studyInstanceUid.clear();
  s.dicomPatientName.clear();
  s.dicomPatientId.clear();
}

}  // namespace

int acquisitionFormatOf(const std::filesystem::path& path) {
  std::string e = path.extension().string();
  for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (e == ".idb") return kFormatIdb;
  if (e == ".img" || e == ".hdr" || e == ".h33" || e == ".i33") return kFormatInterfile;
  if (e == ".ima") return kFormatIma;
  return kFormatDicom;
}

PixelBlock::PixelBlock(std::span<const uint8_t> bytes) : bytes_(bytes), size_(bytes.size()) {}

PixelBlock::PixelBlock(const FileSource& files, const std::filesystem::path& path, uint64_t offset, uint64_t count)
    : offset_(offset) {
  const auto fileSize = files.sizeOf(path);
  if (!fileSize || *fileSize < offset) return;
  if (const auto bytes = files.inMemory(path)) {
    size_ = std::min(count, *fileSize - offset);
    bytes_ = bytes->subspan(static_cast<size_t>(offset), static_cast<size_t>(size_));
    offset_ = 0;
    return;
  }
  file_ = std::fopen(path.c_str(), "rb");
  if (!file_) return;
  std::setvbuf(file_, nullptr, _IONBF, 0);  // every read goes straight into the caller's buffer
  size_ = std::min(count, *fileSize - offset);
}

PixelBlock::~PixelBlock() {
  if (file_) std::fclose(file_);
}

bool PixelBlock::read(uint64_t offset, size_t count, uint8_t* dst) const {
  if (offset > size_ || count > size_ - offset) return false;
  if (!file_) {
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), count, dst);
    return true;
  }
  if (fseeko(file_, static_cast<off_t>(offset_ + offset), SEEK_SET) != 0) return false;
  return std::fread(dst, 1, count, file_) == count;
}

void EVAL_NCZ(std::span<const uint8_t> pixels, StudyRecord& s) {
  s.czmin = s.czmax = -1;
  ByteReader r(pixels);
  for (int z = 0; z < s.Data_NZ; ++z) {
    auto slice = r.bytes(static_cast<size_t>(z) * kSliceVoxels * 2, kSliceVoxels * 2);
    if (!slice) break;
    if (std::any_of(slice->begin(), slice->end(), [](uint8_t b) { return b != 0; })) {
      if (s.czmin < 0) s.czmin = z;
      s.czmax = z;
    }
  }
  s.NCZ = s.czmin < 0 ? 1 : s.czmax - s.czmin + 1;
}

Status EXTRACT_TOMO_DATA(int rescale, const PixelBlock& pixels, Study& s, const Options& opt, TraceLog& log) {
  const FileGeometry g = s.file_geometry;
  if (g.Ninst != 8 && g.Ninst != 16) return Refusal::of(RefusalCode::TimeSlots, study_texts::kInstants);
  if (!pixelBlockComplete(s, pixels.size())) return Refusal::of(RefusalCode::NotDicom, study_texts::kBadDicom);
  const Extraction e = extractionOf(s, opt);
  const bool crop = !(e.rows == kMatrix && e.columns == kMatrix);  // 64 x 64 images are taken as they are
  double cx = 0, cy = 0;
  int x0 = 0, y0 = 0;
  bool ok = true;
  if (crop) {
    ok = countCentroid(pixels, e, cx, cy);
    x0 = windowOrigin(e.rows, cx, s.mantrans_x);
    y0 = windowOrigin(e.columns, cy, s.mantrans_y);
    log.writef("Crop  ::  centroid %f %f  ->  origin %d %d\n", cx, cy, x0, y0);
  }
  if (e.rebin) s.CYCLE *= 2;
  s.Ninst = e.instants;
  s.NCZ = e.slices;
  s.OrImSize_H = e.rows;
  s.OrImSize_V = e.columns;
  assignVolume(s.DATA, static_cast<size_t>(s.Ninst) * s.NCZ * kSliceVoxels, 0.0f);
  if (!ok || !fillWorkingMatrix(pixels, e, x0, y0, s))
    return Refusal::formatted(RefusalCode::UnreadableFile, study_texts::kUnreadableFile, s.chemin_data.c_str());
  s.countCentreSlice = crop ? countCentreSlice(s) : -1;
  if (rescale == 1) applyRescaleAndStartSlice(s);
  return {};
}

std::vector<double> instantTotals(const std::vector<float>& counts, const Study& s) {
  const size_t inst = s.instantSize();
  if (s.Ninst <= 0 || counts.size() < static_cast<size_t>(s.Ninst) * inst) return {};
  std::vector<double> total(static_cast<size_t>(s.Ninst), 0.0);
  for (int t = 0; t < s.Ninst; ++t) {
    const float* p = counts.data() + static_cast<size_t>(t) * inst;
    for (size_t i = 0; i < inst; ++i) total[t] += p[i];
  }
  return total;
}

namespace {

// The first instant is kept as end-diastole unless its total lies nearer the cycle's least than its
// largest (past this share of the range between them, below the largest). The totals vary by a few
// per cent over the cycle, so an acquisition gated on the R wave has late-diastolic instants whose
// totals match the first's within the noise; starting the cycle at one of them would move every
// time result by whole instants.
constexpr double kCycleStartShare = 0.5;

// The earliest instant of the largest total when the first instant's total lies in the lower part
// of the cycle's range (the acquisition started away from end-diastole); else 0.
int cycleStartOf(const std::vector<double>& total) {
  if (total.empty()) return 0;
  const auto largestAt = std::max_element(total.begin(), total.end());  // the earliest of the largest
  const double largest = *largestAt, least = *std::min_element(total.begin(), total.end());
  return largest - total[0] > kCycleStartShare * (largest - least) ? static_cast<int>(largestAt - total.begin()) : 0;
}

}  // namespace

int cycleStartInstant(const std::vector<float>& counts, const Study& s) {
  return cycleStartOf(instantTotals(counts, s));
}

void DATA_TRANSLATION(Study& s) {
  std::vector<double> total = instantTotals(s.DATA, s);
  total.resize(static_cast<size_t>(std::max(s.Ninst, 0)), 0.0);
  if (total.empty()) return;
  const int d = cycleStartOf(total);
  // End-systole: the earliest smallest total, whatever its size.
  const int es = static_cast<int>(std::min_element(total.begin(), total.end()) - total.begin());
  s.Inst_telesys = es - d;
  if (s.Inst_telesys < 0) s.Inst_telesys += s.Ninst;
  if (d == 0) return;
  const size_t inst = s.instantSize();
  std::rotate(s.DATA.begin(), s.DATA.begin() + static_cast<std::ptrdiff_t>(d * inst),
              s.DATA.begin() + static_cast<std::ptrdiff_t>(s.Ninst * inst));
}

Status LOAD_TOMO_DATA(const FileSource& files, int rescale, StudyWorkspace& w, TraceLog& log, Notices& notices) {
  const Options& opt = w.options;
  // Only the pixel block is read; Interfile voxels come from their own reader.
  const bool interfile = w.study.IM_FORMAT == kFormatInterfile;
  const PixelBlock pixels = interfile ? PixelBlock(std::span<const uint8_t>())
                                      : PixelBlock(files, w.study.chemin_data,
                                                   static_cast<uint64_t>(std::max<long long>(w.study.OFFSET_LEC, 0)),
                                                   pixelBlockBytes(w.study));
  if (!interfile && pixels.size() < pixelBlockBytes(w.study))
    return Refusal::formatted(RefusalCode::UnreadableFile, study_texts::kUnreadableFile, w.study.chemin_data.c_str());

  // Everything is prepared aside and committed at the end, so a failure leaves w as it was.
  Study s;
  static_cast<StudyRecord&>(s) = w.study;
  LongAxisProjection projection;
  const FileGeometry& g = s.file_geometry;
  if (s.Ninst != g.Ninst && s.Ninst > 0) s.CYCLE = s.CYCLE * static_cast<float>(s.Ninst) / static_cast<float>(g.Ninst);
  s.Ninst = g.Ninst;
  s.OrImSize_H = g.OrImSize_H;
  s.OrImSize_V = g.OrImSize_V;
  if (s.IM_FORMAT == kFormatIdb) {
    std::vector<uint8_t> first(std::min<uint64_t>(pixels.size(), uint64_t(std::max(s.Data_NZ, 0)) * kSliceVoxels * 2));
    if (!pixels.read(0, first.size(), first.data())) first.clear();
    EVAL_NCZ(first, s);
  } else {
    s.czmin = 0;
    s.NCZ = g.NCZ;
  }
  const bool transposed = opt.short_axis && isDicomLike(s.IM_FORMAT);
  const int finalNCZ = transposed ? g.OrImSize_H : s.NCZ;
  if (s.NCZ > kMaxSlices || finalNCZ > kMaxSlices)
    return Refusal::formatted(RefusalCode::TooManySlices, study_texts::kTooManySlices, std::max(s.NCZ, finalNCZ),
                              kMaxSlices);
  s.seg_affmin = 0;
  s.countCentreSlice = -1;

  if (s.IM_FORMAT != kFormatInterfile) {
    if (Status extracted = EXTRACT_TOMO_DATA(rescale, pixels, s, opt, log); !extracted) return extracted;
  } else {
    s.DATA = w.study.DATA;  // Interfile voxels are read by their own reader
  }
  if (!EVAL_GRADMAX(s)) notices.push_back(lowHeartRate());

  // Head-first long-axis and feet-first short-axis files store their slices the other way round.
  if (s.IM_FORMAT == kFormatDicom &&
      ((opt.short_axis && s.patient_orientation == 1) || (!opt.short_axis && s.patient_orientation == 0)))
    DATA_SYMETRY_VER(s, 1);

  EVAL_DATA_INTERVAL(s, log);
  // Nothing to segment, and a crop centroid of nothing: refused rather than shown as a study.
  if (!(s.datamax >= 1)) return Refusal::of(RefusalCode::NoCounts, study_texts::kNoCounts);
  DATA_TRANSLATION(s);
  EVAL_VLA_PROJ(s, projection, projectionSettingsOf(s, opt));
  stampCounts(s);

  w.study = std::move(s);
  w.projection = std::move(projection);
  w.settings.reorient.infand_plane = 0;
  w.options.VLA_proj = 0;
  return {};
}

Status readAcquisitionHeader(const FileSource& files, const std::filesystem::path& path, int filter, Study& s,
                             Options& opt, TraceLog& log, Notices& notices) {
  s.rescale_intercept = 0;
  s.rescale_slope = -1;
  clearPatientIdentity(s);
  Status read;
  if (filter == kFilterAllFiles) filter = acquisitionFormatOf(path);
  switch (filter) {
    case kFormatDicom:
    case kFormatIma:
      read = LOAD_DCM_DATA(files, path, s, opt, log, notices);
      break;
    case kFormatIdb: read = LOAD_IDB_DATA(files, path, s, opt); break;
    case kFormatInterfile: read = LOAD_IMG_DATA(files, path, s, opt); break;
    default: return Refusal::of(RefusalCode::FormatNotAvailable, study_texts::kFormatNotAvailable);
  }
  if (!read) return read;
  s.VOX_XY_init = s.VOXEL_SIZE_XY;
  s.VOXS_init = s.VOXEL_SIZE_Z * s.VOXEL_SIZE_XY * s.VOXEL_SIZE_XY;
  s.chemin_data = path.string();
  s.chemin_short = EXTRACT_SHORTPATH(s.chemin_data);
  return {};
}

std::vector<FileFilter> acquisitionFilters(int LANGUE) {
  return {{study_texts::kFilterDicom.pick(LANGUE), "*.dcm"},
          {study_texts::kFilterIdb.pick(LANGUE), "*.idb"},
          {study_texts::kFilterInterfile.pick(LANGUE), "*.hdr *.h33 *.img *.i33"},
          {study_texts::kFilterIma.pick(LANGUE), "*.ima"},
          {study_texts::kFilterAll.pick(LANGUE), "*"}};
}

Status readAcquisition(const FileSource& files, const std::filesystem::path& path, int filter, StudyWorkspace& w,
                       TraceLog& log, Notices& notices) {
  StudyWorkspace next;
  static_cast<StudyRecord&>(next.study) = w.study;
  next.settings = w.settings;
  next.options = w.options;
  if (Status header = readAcquisitionHeader(files, path, filter, next.study, next.options, log, notices); !header) return header;

  next.settings.flow.IDB_loaded = 1;
  next.settings.flow.segment_done = next.settings.flow.vidange_done = next.settings.flow.build_visu = 0;
  next.study.FREQ_ASKING = 0;
  next.study.mantrans_x = -8;
  next.study.mantrans_y = 8;
  INIT_ACQ_PARAM(next.study, next.settings, next.options);
  if (Status voxels = LOAD_TOMO_DATA(files, 1, next, log, notices); !voxels) return voxels;
  w = std::move(next);
  return {};
}

}  // namespace quorvel
