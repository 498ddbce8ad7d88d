#include "study/loading.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <new>

#include "base/byte_reader.h"
#include "base/messages.h"
#include "study/dicom_reader.h"
#include "study/study_model.h"
#include "study/study_texts.h"
#include "study/timing.h"

namespace quorvel {

namespace {

constexpr int kIdbSlices = 64;
constexpr int kRebinnedInstants = 8;

bool isDicomLike(int format) { return format == kFormatDicom || format == kFormatIma; }

// The whole-file buffer in the file's own in-plane size: [t][z][x][y].
struct Volume {
  int Ninst = 0, NCZ = 0, H = 0, V = 0;
  std::vector<float> v;
  size_t index(int t, int z, int x, int y) const {
    return ((static_cast<size_t>(t) * NCZ + z) * H + x) * static_cast<size_t>(V) + y;
  }
};

// Reads NCZ slices from file slice Data_NZ x t + czmin for every file instant, summing pairs when
// re-binning 16 instants to 8.
void readInstants(std::span<const uint8_t> pixels, const StudyRecord& s, bool rebin, Volume& out) {
  const int H = out.H, V = out.V;
  const bool idb = s.IM_FORMAT == kFormatIdb;
  const bool bigEndian = idb || s.TRANSFERT_UID == kExplicitBig;
  const size_t slicePixels = static_cast<size_t>(H) * V;
  const int czmin = std::max(s.czmin, 0);
  for (int t = 0; t < s.file_geometry.Ninst; ++t) {
    const int target = rebin ? t / 2 : t;
    for (int z = 0; z < out.NCZ; ++z) {
      const size_t fileSlice = static_cast<size_t>(s.Data_NZ) * t + czmin + z;
      const uint8_t* src = pixels.data() + fileSlice * slicePixels * 2;
      float* dst = &out.v[out.index(target, z, 0, 0)];
      for (size_t i = 0; i < slicePixels; ++i) {
        const uint16_t raw = bigEndian ? static_cast<uint16_t>(src[2 * i] << 8 | src[2 * i + 1])
                                       : static_cast<uint16_t>(src[2 * i] | src[2 * i + 1] << 8);
        dst[i] += idb ? static_cast<float>(raw) : static_cast<float>(static_cast<int16_t>(raw));
      }
    }
  }
}

// Short-axis input: file value (t, z, x, y) goes to (t, H-1-x, z, y).
Volume transposeShortAxis(const Volume& in) {
  Volume out;
  out.Ninst = in.Ninst;
  out.NCZ = in.H;
  out.H = in.NCZ;
  out.V = in.V;
  out.v.assign(in.v.size(), 0.0f);
  for (int t = 0; t < in.Ninst; ++t)
    for (int z = 0; z < in.NCZ; ++z)
      for (int x = 0; x < in.H; ++x)
        std::copy_n(&in.v[in.index(t, z, x, 0)], in.V, &out.v[out.index(t, in.H - 1 - x, z, 0)]);
  return out;
}

// Origin of the 64-wide window along one axis of size n, from the count centroid c.
int windowOrigin(int n, double c, int manualShift) {
  if (n >= kMatrix) return std::max(0, manualShift + static_cast<int>(std::trunc(c + 0.5)) - kMatrix / 2);
  return (n - kMatrix) / 2;  // negative: the small image is centred
}

void cropIntoWorkingMatrix(const Volume& buf, Study& s, const SegmentView& view, TraceLog& log) {
  double sum = 0, sx = 0, sy = 0;
  for (int t = 0; t < buf.Ninst; ++t)
    for (int z = 0; z < buf.NCZ; ++z)
      for (int x = 0; x < buf.H; ++x)
        for (int y = 0; y < buf.V; ++y) {
          const double v = buf.v[buf.index(t, z, x, y)];
          sum += v;
          sx += x * v;
          sy += y * v;
        }
  const double cx = sum > 0 ? sx / sum : 0, cy = sum > 0 ? sy / sum : 0;
  const int x0 = windowOrigin(buf.H, cx, s.mantrans_x);
  const int y0 = windowOrigin(buf.V, cy, s.mantrans_y);
  log.writef("Crop  ::  centroid %f %f  ->  origin %d %d\n", cx, cy, x0, y0);
  for (int t = 0; t < buf.Ninst; ++t)
    for (int z = 0; z < buf.NCZ; ++z)
      for (int x = 0; x < kMatrix; ++x)
        for (int y = 0; y < kMatrix; ++y) {
          const int sxi = x0 + x, syi = y0 + y;
          const bool inside = sxi >= 0 && sxi < buf.H && syi >= 0 && syi < buf.V;
          s.at(t, z, x, y) = inside ? buf.v[buf.index(t, z, sxi, syi)] : 0.0f;
        }

  // First slice of the segmentation mosaic: centred on the count centroid across slices.
  double sz = 0, total = 0;
  for (int t = 0; t < s.Ninst; ++t)
    for (int z = 0; z < s.NCZ; ++z)
      for (int i = 0; i < kSliceVoxels; ++i) {
        const double v = s.DATA[Study::index(s.NCZ, t, z, 0, 0) + i];
        sz += z * v;
        total += v;
      }
  const int cz = total > 0 ? static_cast<int>(std::trunc(sz / total + 0.5)) : 0;
  s.seg_affmin = cz - (view.NcellV * view.NcellH) / 2;
  s.seg_affmin = std::min(s.seg_affmin, s.NCZ - view.seg_Ymax * view.seg_Xmax - 1);
  s.seg_affmin = std::max(s.seg_affmin, 0);
  log.writef("seg_affmin = %d  (centroid slice %d)\n", s.seg_affmin, cz);
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

bool pixelBlockComplete(const StudyRecord& s, size_t blockSize) {
  const FileGeometry& g = s.file_geometry;
  if (g.Ninst < 1 || s.Data_NZ < 1 || g.OrImSize_H < 1 || g.OrImSize_V < 1) return false;
  if (std::max(s.czmin, 0) + s.NCZ > s.Data_NZ) return false;
  return pixelBlockBytes(s) <= blockSize;
}

}  // namespace

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

bool EXTRACT_TOMO_DATA(int rescale, std::span<const uint8_t> pixels, Study& s, const Options& opt,
                       SegmentView& view, Platform& platform, TraceLog& log) {
  const FileGeometry g = s.file_geometry;
  if (g.Ninst != 8 && g.Ninst != 16) {
    platform.warning(study_texts::kInstants.pick(opt.LANGUE));
    return false;
  }
  if (!pixelBlockComplete(s, pixels.size())) {
    platform.warning(study_texts::kBadDicom.pick(opt.LANGUE));
    return false;
  }
  const bool rebin = g.Ninst == 16 && opt.RECH_8;
  Volume buf;
  try {
    buf.Ninst = rebin ? kRebinnedInstants : g.Ninst;
    buf.NCZ = s.NCZ;
    buf.H = g.OrImSize_H;
    buf.V = g.OrImSize_V;
    buf.v.assign(static_cast<size_t>(buf.Ninst) * buf.NCZ * buf.H * buf.V, 0.0f);
    readInstants(pixels, s, rebin, buf);
    if (opt.short_axis && isDicomLike(s.IM_FORMAT)) buf = transposeShortAxis(buf);
  } catch (const std::bad_alloc&) {
    MOMS(platform, opt.LANGUE, " DD1 ");
  }
  if (rebin) {
    s.CYCLE *= 2;
    s.Ninst = kRebinnedInstants;
  }
  s.NCZ = buf.NCZ;
  s.OrImSize_H = buf.H;
  s.OrImSize_V = buf.V;

  if (buf.H == kMatrix && buf.V == kMatrix) {
    s.DATA = std::move(buf.v);  // same layout: taken over without a copy
  } else {
    try {
      s.DATA.assign(static_cast<size_t>(s.Ninst) * s.NCZ * kSliceVoxels, 0.0f);
    } catch (const std::bad_alloc&) {
      MOMS(platform, opt.LANGUE, " DD1 ");
    }
    cropIntoWorkingMatrix(buf, s, view, log);
  }
  if (rescale == 1) applyRescaleAndStartSlice(s);
  return true;
}

void DATA_TRANSLATION(Study& s) {
  std::vector<double> total(static_cast<size_t>(s.Ninst), 0.0);
  for (int t = 0; t < s.Ninst; ++t) {
    const float* p = &s.DATA[Study::index(s.NCZ, t, 0, 0, 0)];
    for (size_t i = 0; i < s.instantSize(); ++i) total[t] += p[i];
  }
  int d = 0, es = -1;
  double best = 0;
  // The smallest total is searched from the first instant, so that large count totals still
  // give an end-systole (a fixed starting bound would keep the previous study's).
  double least = 0;
  for (int t = 0; t < s.Ninst; ++t) {
    if (total[t] > best) {
      best = total[t];
      d = t;
    }
    if (es < 0 || total[t] < least) {
      least = total[t];
      es = t;
    }
  }
  if (es >= 0) {
    s.Inst_telesys = es - d;
    if (s.Inst_telesys < 0) s.Inst_telesys += s.Ninst;
  }
  if (d == 0) return;
  const size_t inst = s.instantSize();
  std::rotate(s.DATA.begin(), s.DATA.begin() + static_cast<std::ptrdiff_t>(d * inst),
              s.DATA.begin() + static_cast<std::ptrdiff_t>(s.Ninst * inst));
}

int LOAD_TOMO_DATA(int rescale, StudyWorkspace& w, Platform& platform, TraceLog& log) {
  const Options& opt = w.options;
  // Only the pixel block is read; Interfile voxels come from their own reader.
  std::optional<std::vector<uint8_t>> block = std::vector<uint8_t>{};
  if (w.study.IM_FORMAT != kFormatInterfile)
    block = readFileRange(w.study.chemin_data, static_cast<uint64_t>(std::max<long long>(w.study.OFFSET_LEC, 0)),
                          pixelBlockBytes(w.study));
  if (!block) {
    platform.warning(format(study_texts::kUnreadableFile.pick(opt.LANGUE), w.study.chemin_data.c_str()));
    return 0;
  }
  const std::span<const uint8_t> pixels(*block);

  // Everything is prepared aside and committed at the end, so a failure leaves w as it was.
  Study s;
  static_cast<StudyRecord&>(s) = w.study;
  SegmentView view = w.view;
  const FileGeometry& g = s.file_geometry;
  if (s.Ninst != g.Ninst && s.Ninst > 0) s.CYCLE = s.CYCLE * static_cast<float>(s.Ninst) / static_cast<float>(g.Ninst);
  s.Ninst = g.Ninst;
  s.OrImSize_H = g.OrImSize_H;
  s.OrImSize_V = g.OrImSize_V;
  if (s.IM_FORMAT == kFormatIdb) {
    EVAL_NCZ(pixels, s);
  } else {
    s.czmin = 0;
    s.NCZ = g.NCZ;
  }
  const bool transposed = opt.short_axis && isDicomLike(s.IM_FORMAT);
  const int finalNCZ = transposed ? g.OrImSize_H : s.NCZ;
  if (s.NCZ > kMaxSlices || finalNCZ > kMaxSlices) {
    platform.warning(format(study_texts::kTooManySlices.pick(opt.LANGUE), std::max(s.NCZ, finalNCZ), kMaxSlices));
    return 0;
  }
  s.seg_affmin = 0;
  platform.textChanged(TextSlot::SliceCounter, format(study_texts::kSliceCounter.pick(opt.LANGUE), finalNCZ));
  EVAL_SEGMENT_CAPACITY(view, platform.screenSize());
  FORMATE_SEGMENT_DISPLAY(view, finalNCZ, log);

  if (s.IM_FORMAT != kFormatInterfile) {
    if (!EXTRACT_TOMO_DATA(rescale, pixels, s, opt, view, platform, log)) return 0;
  } else {
    s.DATA = w.study.DATA;  // Interfile voxels are read by their own reader
  }
  EVAL_GRADMAX(s, platform, opt.LANGUE);

  // Head-first long-axis and feet-first short-axis files store their slices the other way round.
  if (s.IM_FORMAT == kFormatDicom &&
      ((opt.short_axis && s.patient_orientation == 1) || (!opt.short_axis && s.patient_orientation == 0)))
    DATA_SYMETRY_VER(s, 1);

  EVAL_DATA_INTERVAL(s, log);
  DATA_TRANSLATION(s);
  EVAL_VLA_PROJ(s, view, projectionSettingsOf(s, opt));

  w.study = std::move(s);
  w.view = std::move(view);
  w.settings.reorient.infand_plane = 0;
  w.options.VLA_proj = 0;
  return 1;
}

int LOAD_ACQ_PATH(const std::filesystem::path& path, int filter, Study& s, Options& opt, Platform& platform,
                  TraceLog& log) {
  s.rescale_intercept = 0;
  s.rescale_slope = -1;
  int ok = 0;
  switch (filter) {
    case kFormatDicom:
    case kFormatIma:
      ok = LOAD_DCM_DATA(path, s, opt, platform, log);
      break;
    default:
      platform.warning(study_texts::kFormatNotAvailable.pick(opt.LANGUE));
      return 0;
  }
  if (!ok) return 0;
  s.VOX_XY_init = s.VOXEL_SIZE_XY;
  s.VOXS_init = s.VOXEL_SIZE_Z * s.VOXEL_SIZE_XY * s.VOXEL_SIZE_XY;
  s.chemin_data = path.string();
  s.chemin_short = EXTRACT_SHORTPATH(s.chemin_data);
  return 1;
}

int LOAD_ACQ_FILE(Study& s, Options& opt, Platform& platform, TraceLog& log) {
  const int L = opt.LANGUE;
  const std::vector<FileFilter> filters{{study_texts::kFilterDicom.pick(L), "*.dcm"},
                                        {study_texts::kFilterIdb.pick(L), "*.idb"},
                                        {study_texts::kFilterInterfile.pick(L), "*.img"},
                                        {study_texts::kFilterIma.pick(L), "*.ima"}};
  auto choice = platform.chooseOpenFile(study_texts::kOpenTitle.pick(L), filters, s.Defaut_format);
  if (!choice) return 0;
  return LOAD_ACQ_PATH(choice->path, choice->filter, s, opt, platform, log);
}

namespace {

int openWith(StudyWorkspace& w, Platform& platform, TraceLog& log,
             const std::function<int(Study&, Options&)>& readHeader) {
  platform.stopTimer(TimerId::Cine);
  platform.stopTimer(TimerId::Depolarisation);
  if (w.study.FREQ_ASKING) {
    platform.closeHeartRatePrompt();
    w.study.FREQ_ASKING = 0;
  }

  StudyWorkspace next;
  static_cast<StudyRecord&>(next.study) = w.study;
  next.settings = w.settings;
  next.options = w.options;
  // next.view is rebuilt whole by LOAD_TOMO_DATA.
  if (!readHeader(next.study, next.options)) return 0;

  next.settings.flow.IDB_loaded = 1;
  next.settings.flow.segment_done = next.settings.flow.vidange_done = next.settings.flow.build_visu = 0;
  next.study.mantrans_x = -8;
  next.study.mantrans_y = 8;
  INIT_ACQ_PARAM(next.study, next.settings, next.options);
  if (!LOAD_TOMO_DATA(1, next, platform, log)) return 0;

  w = std::move(next);
  platform.textChanged(TextSlot::WindowTitle, w.study.chemin_short);
  DISPLAY_PAT_INFO(w.study, platform, w.options.LANGUE);
  if (!w.study.HEART_RATE) ASKFOR_CARD_FREQ(w.study, platform, w.options);
  platform.pictureChanged(View::Reorientation);
  return 1;
}

}  // namespace

int OPEN_ACQUISITION(StudyWorkspace& w, Platform& platform, TraceLog& log) {
  return openWith(w, platform, log,
                  [&](Study& s, Options& o) { return LOAD_ACQ_FILE(s, o, platform, log); });
}

int OPEN_ACQUISITION_PATH(const std::filesystem::path& path, int filter, StudyWorkspace& w, Platform& platform,
                          TraceLog& log) {
  return openWith(w, platform, log,
                  [&](Study& s, Options& o) { return LOAD_ACQ_PATH(path, filter, s, o, platform, log); });
}

}  // namespace quorvel
