#include "export/report.h"

#include <algorithm>
#include <cctype>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "base/byte_reader.h"
#include "curves/tacfit.h"
#include "export/export_texts.h"
#include "model3d/regional.h"
#include "render/curve_plot.h"
#include "render/map_panels.h"
#include "render/report_panels.h"
#include "render/segmental_view.h"
#include "render/view3d.h"
#include "study/dicom_writer.h"
#include "study/study_texts.h"

namespace quorvel {

namespace {

constexpr int kTextPanelWidth = 512, kTextPanelHeight = 166;

constexpr int kPatientWidth = 600, kPatientHeight = 20;
constexpr int kReportMapWidth = 256, kReportMapHeight = 512;
constexpr int kPanelGap = 4;

// Where the global report puts its panels: (row0 from the bottom, col0).
struct Place {
  int row0, col0;
};
struct GlobalLayout {
  int stripWidth;
  Place strips[4];  // long axis at end-diastole, end-systole; short axis likewise
  Place textRight, curveRight, textLeft, curveLeft, patient;
  Place method;  // the fitting method's line; row0 < 0: not shown
};
constexpr GlobalLayout kGlobal1024{1024, {{900, 0}, {810, 0}, {700, 0}, {610, 0}}, {15, 0}, {190, -1}, {15, 512},
                                   {190, 513}, {990, 400}, {-1, 0}};
// The wide canvas: strips of 24 cells, the plots as on the square one, the texts in a third column.
constexpr GlobalLayout kGlobalWide{1536, {{970, 0}, {880, 0}, {780, 0}, {690, 0}}, {424, 1024}, {190, -1}, {224, 1024},
                                   {190, 513}, {1064, 468}, {130, 1024}};

// The local report: per map shown, the 3D view and the two map panels.
struct LocalBlock {
  int mesh_visu;
  Place view, map1, map2, texts;  // texts: wide canvas only (row0 < 0: none)
};
constexpr LocalBlock kLocal1024[2] = {{0, {513, -1}, {513, 512}, {513, 768}, {-1, 0}},
                                      {1, {-1, -1}, {-1, 512}, {-1, 768}, {-1, 0}}};
constexpr LocalBlock kLocalWide[2] = {{0, {550, 0}, {550, 512}, {550, 768}, {550, 1024}},
                                      {1, {20, 0}, {20, 512}, {20, 768}, {20, 1024}}};
// The local report's patient line: where, and its panel's size.
struct PatientBox {
  Place at;
  int width, height;
};
constexpr PatientBox kLocalWidePatient{{1068, 468}, kPatientWidth, kPatientHeight};
// The square canvas has no free row: two lines over the top of the upper 3D view, which is
// narrower than the line.
constexpr int kTwoLines = 2 * kReportLineHeight + 4;
constexpr PatientBox kLocal1024Patient{{1024 - kTwoLines, 0}, 511, kTwoLines};

Rgb backgroundOf(const Options& opt) { return Rgb{opt.BK_r, opt.BK_g, opt.BK_b}; }

void composeGlobal(Bitmap24& canvas, const ReportInputs& in, const GlobalLayout& L) {
  const StudyWorkspace& w = in.w;
  const int LANGUE = w.options.LANGUE;
  const Rgb bk = backgroundOf(w.options);
  const int es = endSystoleInstant(in.vc, w.study.Ninst);
  const struct {
    int t;
    StripAxis axis;
    Text title;
  } strips[4] = {{0, StripAxis::LongAxis, export_texts::kLongAxisDiastole},
                 {es, StripAxis::LongAxis, export_texts::kLongAxisSystole},
                 {0, StripAxis::ShortAxis, export_texts::kShortAxisDiastole},
                 {es, StripAxis::ShortAxis, export_texts::kShortAxisSystole}};
  for (int k = 0; k < 4; ++k)
    FILL_EXPORT_BMP(canvas,
                    sliceStripPanel(w, in.seg, in.pictures, strips[k].t, strips[k].axis, strips[k].title.pick(LANGUE),
                                    L.stripWidth, bk),
                    L.strips[k].row0, L.strips[k].col0);

  TraceLog quiet;
  BUILD_BMP_VID(in.vc, w.study.Ninst, in.pictures, quiet);
  auto resultText = [&](int v) {
    std::string text =
        std::string(ventriclePanelTitle(v, LANGUE)) + "\n\n" + ventricleResultsText(v == 1 ? in.vc.G : in.vc.D, LANGUE);
    // What follows the results comes right under them: the panel has room for three more lines.
    if (in.uncertainty) {
      const ResultUncertainty* u = in.uncertainty->data() + (v == 1 ? 0 : kResultsPerVentricle);
      text += format(export_texts::kReportIntervals.pick(LANGUE), u[kEf].low95, u[kEf].high95, u[kEdv].low95,
                            u[kEdv].high95);
    }
    if (in.serial && v == 1) {
      const SerialSummary& s = *in.serial;
      text += format(export_texts::kReportComparison.pick(LANGUE), shownDate(s.previousDate).c_str(),
                            s.previousEf, s.change, s.mdc,
                            format((s.flagged ? export_texts::kReportFlagged : export_texts::kReportNotFlagged)
                                       .pick(LANGUE),
                                   s.criterion.c_str())
                                .c_str());
    }
    return text;
  };
  FILL_EXPORT_BMP(canvas, textPanel(kTextPanelWidth, kTextPanelHeight, resultText(2), bk), L.textRight.row0,
                  L.textRight.col0);
  FILL_EXPORT_BMP(canvas, curvePanel(in.pictures.BMPvd, in.vc.maxvol), L.curveRight.row0, L.curveRight.col0);
  FILL_EXPORT_BMP(canvas, textPanel(kTextPanelWidth, kTextPanelHeight, resultText(1), bk), L.textLeft.row0,
                  L.textLeft.col0);
  FILL_EXPORT_BMP(canvas, curvePanel(in.pictures.BMPvg, in.vc.maxvol), L.curveLeft.row0, L.curveLeft.col0);
  FILL_EXPORT_BMP(canvas, textPanel(kPatientWidth, kPatientHeight, w.study.pat_tmp, bk), L.patient.row0, L.patient.col0);
  if (L.method.row0 >= 0)
    FILL_EXPORT_BMP(canvas,
                    textPanel(kTextPanelWidth, 2 * kReportLineHeight,
                              tacfitMethodLabel(w.settings.curves.TACFIT_switch, in.fit, LANGUE), bk),
                    L.method.row0, L.method.col0);
}

// Ventricle v's map panel (0 left, 1 right): the histogram with its palette bar, the map's
// results, the picked point's curve narrowed to the panel's width.
Bitmap24 mapPanel(const MapPanelInputs& mi, int v, const std::string& results, const MeshCurve& curve, Rgb bk) {
  Bitmap24 panel(kReportMapWidth, kReportMapHeight);
  panel.fill(bk);
  int y = 0;  // from the top
  auto place = [&](const Bitmap24& piece) {
    FILL_EXPORT_BMP(panel, piece, kReportMapHeight - y - piece.height, 0);
    y += piece.height + 4;
  };
  place(mapHistogramPanel(mi, v));
  place(textPanel(std::string_view(results), kReportMapWidth, kResultTextLines));
  const Bitmap24 wide = meshCurvePicture(curve);
  Bitmap24 narrow(kReportMapWidth, wide.height);
  for (int r = 0; r < wide.height; ++r)
    for (int x = 0; x < kReportMapWidth; ++x) narrow.set(x, r, wide.get(x * wide.width / kReportMapWidth, r));
  place(narrow);
  return panel;
}

void composeLocal(Bitmap24& canvas, const ReportInputs& in, const LocalBlock (&blocks)[2], bool wide) {
  const StudyWorkspace& w = in.w;
  const int LANGUE = w.options.LANGUE;
  const Rgb bk = backgroundOf(w.options);
  Model3DStudySettings s = in.model3d;
  s.model3d.mesh_double = 1;
  s.model3d.visu_activ = 0;
  const int t = std::clamp(w.study.instant, 0, std::max(w.study.Ninst - 1, 0));
  const std::array<MeshCurve, 2> noCurves{};
  const std::array<MeshCurve, 2>& curves = in.pickedCurves ? *in.pickedCurves : noCurves;
  for (const LocalBlock& b : blocks) {
    s.model3d.mesh_visu = b.mesh_visu;
    FILL_EXPORT_BMP(canvas, drawResults3D(in.pictures, in.model, s, w.options, t), b.view.row0, b.view.col0);
    // The bull's-eye draw leaves PAL_map as this map's windows colour it.
    const Bitmap24& eyes = drawBullseye(in.pictures, in.model, s, w.options, w.study);
    const MapPanelInputs mi{in.model.maps, s.ranges, w.study, in.pictures.table3D, in.pictures.PAL_map,
                            b.mesh_visu, w.options.pal3D, LANGUE};
    const auto texts = AFFICHAGE_RES_MESH(in.model, b.mesh_visu, w.study, LANGUE);  // [0] right, [1] left
    FILL_EXPORT_BMP(canvas, mapPanel(mi, 1, texts[0], curves[1], bk), b.map1.row0, b.map1.col0);
    FILL_EXPORT_BMP(canvas, mapPanel(mi, 0, texts[1], curves[0], bk), b.map2.row0, b.map2.col0);
    if (wide && b.texts.row0 >= 0) {
      const int eyesRow0 = b.texts.row0 + 512 - eyes.height;
      FILL_EXPORT_BMP(canvas, eyes, eyesRow0, b.texts.col0);
      if (b.mesh_visu == 0 && in.segments) {
        const Bitmap24 segments = segmentalPicture(*in.segments, LANGUE, false);
        const int row0 = eyesRow0 - kPanelGap - segments.height;
        if (row0 >= b.texts.row0) FILL_EXPORT_BMP(canvas, segments, row0, b.texts.col0);
      }
    }
  }
  const PatientBox& patient = wide ? kLocalWidePatient : kLocal1024Patient;
  FILL_EXPORT_BMP(canvas, textPanel(patient.width, patient.height, w.study.pat_tmp, bk), patient.at.row0,
                  patient.at.col0);
  // The results view goes back to what the stage shows.
  drawResults3D(in.pictures, in.model, in.model3d, w.options, t);
}

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};
void jpegErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1); }

bool endsWith(std::string s, std::string_view tail) {
  if (s.size() < tail.size()) return false;
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

constexpr const char* kExtensions[] = {"", ".bmp", ".jpg", ".dcm"};

}  // namespace

CanvasSize reportCanvasSize(int RESEXP_1024) { return RESEXP_1024 ? CanvasSize{1024, 1024} : CanvasSize{1536, 1092}; }

void FILL_EXPORT_BMP(Bitmap24& canvas, const Bitmap24& panel, int row0, int col0) {
  const int i0 = std::max(0, -row0), i1 = std::min(panel.height, canvas.height - row0);
  const int j0 = std::max(0, -col0), j1 = std::min(panel.width, canvas.width - col0);
  if (j1 <= j0) return;
  for (int i = i0; i < i1; ++i) {
    const uint8_t* src = panel.pixels.data() + static_cast<size_t>(i) * panel.stride() + 3 * j0;
    uint8_t* dst = canvas.pixels.data() + static_cast<size_t>(row0 + i) * canvas.stride() + 3 * (col0 + j0);
    std::copy_n(src, 3 * (j1 - j0), dst);
  }
}

std::array<uint8_t, kBmpHeaderSize> CREATE_BMP_HEADER(int height, int width) {
  const uint32_t imageSize = static_cast<uint32_t>(height) * static_cast<uint32_t>(3 * width + width % 4);
  std::vector<uint8_t> h{'B', 'M'};
  putU32le(h, kBmpHeaderSize + imageSize);
  putU32le(h, 0);  // two reserved 16-bit words
  putU32le(h, kBmpHeaderSize);
  putU32le(h, 40);
  putU32le(h, static_cast<uint32_t>(width));
  putU32le(h, static_cast<uint32_t>(height));
  putU16le(h, 1);
  putU16le(h, 24);
  putU32le(h, 0);
  putU32le(h, imageSize);
  for (int k = 0; k < 4; ++k) putU32le(h, 0);
  std::array<uint8_t, kBmpHeaderSize> out{};
  std::copy(h.begin(), h.end(), out.begin());
  return out;
}

void FLIP_MATRIX(std::vector<uint8_t>& buffer, int height, int width) {
  const size_t row = static_cast<size_t>(width) * 3;
  for (int i = 0; i < height / 2; ++i)
    std::swap_ranges(buffer.begin() + i * row, buffer.begin() + (i + 1) * row, buffer.begin() + (height - 1 - i) * row);
  for (size_t k = 0; k + 2 < buffer.size(); k += 3) std::swap(buffer[k], buffer[k + 2]);
}

std::vector<uint8_t> packedPixels(const Bitmap24& canvas) {
  const size_t row = static_cast<size_t>(canvas.width) * 3;
  std::vector<uint8_t> out(row * canvas.height);
  for (int i = 0; i < canvas.height; ++i)
    std::copy_n(canvas.pixels.data() + static_cast<size_t>(i) * canvas.stride(), row, out.data() + i * row);
  return out;
}

std::vector<uint8_t> encodeJpeg(const std::vector<uint8_t>& rgb, int height, int width, int quality) {
  jpeg_compress_struct cinfo{};
  JpegError err{};
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = jpegErrorExit;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    std::free(mem);
    return {};
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &mem, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  const size_t row = static_cast<size_t>(width) * 3;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW line = const_cast<JSAMPROW>(rgb.data() + cinfo.next_scanline * row);
    jpeg_write_scanlines(&cinfo, &line, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<uint8_t> out(mem, mem + size);
  jpeg_destroy_compress(&cinfo);
  std::free(mem);
  return out;
}

Status write_JPEG_file(const std::filesystem::path& path, int quality, int height, int width,
                       const std::vector<uint8_t>& rgb) {
  const std::vector<uint8_t> bytes = encodeJpeg(rgb, height, width, quality);
  if (bytes.empty() || !writeFileAtomically(path, bytes))
    return Refusal::formatted(RefusalCode::CannotWrite, export_texts::kCannotWrite, path.string().c_str());
  return {};
}

Bitmap24 composeReport(ReportKind kind, const ReportInputs& in, int RESEXP_1024) {
  const CanvasSize size = reportCanvasSize(RESEXP_1024);
  Bitmap24 canvas(size.width, size.height);
  canvas.fill(backgroundOf(in.w.options));
  if (kind == ReportKind::Global)
    composeGlobal(canvas, in, RESEXP_1024 ? kGlobal1024 : kGlobalWide);
  else
    composeLocal(canvas, in, RESEXP_1024 ? kLocal1024 : kLocalWide, !RESEXP_1024);
  return canvas;
}

std::vector<uint8_t> reportFileBytes(const Bitmap24& canvas, int type, const StudyRecord& s, int instanceNumber) {
  std::vector<uint8_t> pixels = packedPixels(canvas);
  if (type == kReportBitmap) {
    const auto header = CREATE_BMP_HEADER(canvas.height, canvas.width);
    std::vector<uint8_t> out(header.begin(), header.end());
    // Rows padded to 4 bytes, as the header's image size counts them.
    for (int i = 0; i < canvas.height; ++i) {
      const uint8_t* row = canvas.pixels.data() + static_cast<size_t>(i) * canvas.stride();
      out.insert(out.end(), row, row + 3 * canvas.width + canvas.width % 4);
    }
    return out;
  }
  FLIP_MATRIX(pixels, canvas.height, canvas.width);
  if (type == kReportJpeg) return encodeJpeg(pixels, canvas.height, canvas.width, kJpegQuality);
  SecondaryCaptureIds ids = newSecondaryCaptureIds(s);
  ids.instanceNumber = instanceNumber;
  std::vector<uint8_t> out = CREATE_DCM_HEADER(s, canvas.height, canvas.width, ids);
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

Status writeReport(const std::filesystem::path& path, int type, const Bitmap24& canvas, const StudyRecord& s,
                   int instanceNumber) {
  if (type == kReportJpeg) {
    std::vector<uint8_t> rgb = packedPixels(canvas);
    FLIP_MATRIX(rgb, canvas.height, canvas.width);
    return write_JPEG_file(path, kJpegQuality, canvas.height, canvas.width, rgb);
  }
  const std::vector<uint8_t> bytes = reportFileBytes(canvas, type, s, instanceNumber);
  if (bytes.empty() || !writeFileAtomically(path, bytes))
    return Refusal::formatted(RefusalCode::CannotWrite, export_texts::kCannotWrite, path.string().c_str());
  return {};
}

int reportTypeOf(const std::filesystem::path& path) {
  const std::string name = path.filename().string();
  if (endsWith(name, ".bmp")) return kReportBitmap;
  if (endsWith(name, ".jpg") || endsWith(name, ".jpeg")) return kReportJpeg;
  if (endsWith(name, ".dcm")) return kReportDicom;
  return 0;
}

std::string reportPath(const std::string& bmp_exp_path, ReportKind kind, int type) {
  return bmp_exp_path + (kind == ReportKind::Global ? " - global" : " - local") + kExtensions[std::clamp(type, 1, 3)];
}

Status EXPORT_RESULTS_1024(Platform& platform, Options& opt, ReportKind kind, const ReportInputs& in) {
  namespace t = export_texts;
  const int LANGUE = opt.LANGUE;
  const auto choice = platform.chooseSaveFile(
      t::kReportTitle.pick(LANGUE),
      {{t::kBitmapFilter.pick(LANGUE), "*.bmp"}, {t::kJpegFilter.pick(LANGUE), "*.jpg"}, {t::kDicomFilter.pick(LANGUE), "*.dcm"}},
      std::clamp(opt.RESEXP_type, 1, 3));
  if (!choice) return Refusal::of(RefusalCode::Cancelled, study_texts::kOpenCancelled);
  opt.RESEXP_type = std::clamp(choice->filter, 1, 3);
  // A name typed with a report extension chooses the type (the filter left as it was must not
  // append another); the extension then gives way to " - global" or " - local".
  std::string base = choice->path;
  if (const int typed = reportTypeOf(base)) {
    opt.RESEXP_type = typed;
    base.erase(base.rfind('.'));
  }
  const Bitmap24 canvas = composeReport(kind, in, opt.RESEXP_1024);
  const std::string path = reportPath(base, kind, opt.RESEXP_type);
  const Status written =
      writeReport(path, opt.RESEXP_type, canvas, in.w.study, kind == ReportKind::Global ? 1 : 2);
  if (written) platform.textChanged(TextSlot::Status, format(t::kReportWritten.pick(LANGUE), path.c_str()));
  return written;
}

}  // namespace quorvel
