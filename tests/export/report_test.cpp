// The report files: bitmap header and rows, JPEG decoded by libjpeg, DICOM read by DCMTK and checked
// by dciodvfy, placement of panels on the canvas, and the export command's file names.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <jpeglib.h>

#include "base/byte_reader.h"
#include "base/scripted_platform.h"
#include "export/report.h"
#include "render/segmental_view.h"
#include "run_command.h"
#include "scratch_folder.h"
#include "study/dicom_writer.h"

using namespace quorvel;
using quorvel::testing::run;

namespace {

constexpr Rgb kRed{250, 0, 0}, kBlue{0, 0, 250}, kGround{10, 20, 30};

// A report's inputs before any result: an empty study, segmentation, curves and model.
struct NoResults {
  StudyWorkspace w;
  Segmentation seg;
  VolumeCurves vc;
  TacFitSettings fit;
  Model3D model;
  Model3DStudySettings settings;
  Pictures pictures;
  ReportInputs inputs() { return {w, seg, vc, fit, model, settings, pictures}; }
};

class ReportFiles : public ::testing::Test {
 protected:
  ReportFiles() : canvas(1024, 1024) {
    canvas.fill(kGround);
    // Blocks of 16 rows, so that the JPEG's chroma subsampling keeps their colour.
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 1024; ++x) {
        canvas.set(x, y, kRed);                     // the top rows
        if (x < 16) canvas.set(x, 1023 - y, kBlue);  // the bottom-left block
      }
    auto raw = [](auto& field, const std::string& v) { copyRaw(field, reinterpret_cast<const unsigned char*>(v.data()), v.size()); };
    raw(study.patname, "DOE^JANE");
    study.patname_long = 8;
    raw(study.patid, "ID42");
    raw(study.patsex, "F ");
    raw(study.patbd, "19AB0101");  // not a date: left empty
    raw(study.patage, "061Y");
    raw(study.hdate, "20240115");
    raw(study.htime, "101500");
    raw(study.sopclauid, kNmImageStorageUid);
    raw(study.sopinsuid, "1.2.3.4.5");
    study.studyInstanceUid = "1.2.826.0.1.42";
  }
  Bitmap24 canvas;
  StudyRecord study;
};

TEST_F(ReportFiles, BitmapHeaderCountsPaddedRows) {
  const struct {
    int width, height;
  } sizes[] = {{1024, 1024}, {1023, 5}, {1, 1}, {1536, 1092}};
  for (const auto& s : sizes) {
    const auto h = CREATE_BMP_HEADER(s.height, s.width);
    const ByteReader r(h);
    const uint32_t image = static_cast<uint32_t>(s.height * (3 * s.width + s.width % 4));
    EXPECT_EQ(h[0], 'B');
    EXPECT_EQ(h[1], 'M');
    EXPECT_EQ(r.u32le(2), 54 + image);
    EXPECT_EQ(r.u32le(6), 0u);
    EXPECT_EQ(r.u32le(10), 54u);
    EXPECT_EQ(r.u32le(14), 40u);
    EXPECT_EQ(r.u32le(18), static_cast<uint32_t>(s.width));
    EXPECT_EQ(r.u32le(22), static_cast<uint32_t>(s.height));
    EXPECT_EQ(r.u16le(26), 1);
    EXPECT_EQ(r.u16le(28), 24);
    EXPECT_EQ(r.u32le(30), 0u);
    EXPECT_EQ(r.u32le(34), image);
    for (int k = 38; k < 54; k += 4) EXPECT_EQ(r.u32le(k), 0u);
  }
  const auto bytes = reportFileBytes(canvas, kReportBitmap, study);
  ASSERT_EQ(bytes.size(), 54u + 3145728u);
  // Bottom-up blue-green-red: the first pixel is the bottom-left one.
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 54, bytes.begin() + 57), (std::vector<uint8_t>{250, 0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 3, bytes.end()), (std::vector<uint8_t>{0, 0, 250}));
}

TEST_F(ReportFiles, PanelsLandFromTheBottomAndNothingOutsideTheCanvas) {
  Bitmap24 panel(4, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) panel.set(x, y, Rgb{static_cast<unsigned char>(100 + x), static_cast<unsigned char>(y), 7});
  Bitmap24 c(8, 8);
  c.fill(kGround);
  // Column -1 loses the first column; rows 6 and 7 from the bottom take the panel's two lower rows.
  FILL_EXPORT_BMP(c, panel, 6, -1);
  int changed = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) changed += c.get(x, y).b == 7;
  EXPECT_EQ(changed, 6);
  EXPECT_EQ(c.get(0, 1).r, 101);  // panel column 1 at canvas column 0
  EXPECT_EQ(c.get(0, 1).g, 2);    // panel's bottom row on canvas row 6 from the bottom
  EXPECT_EQ(c.get(2, 0).g, 1);
  FILL_EXPORT_BMP(c, panel, -5, 9);  // wholly outside
  FILL_EXPORT_BMP(c, panel, 20, 0);
  int after = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) after += c.get(x, y).b == 7;
  EXPECT_EQ(after, 6);

  std::vector<uint8_t> m{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};  // 2 x 2, bottom row first
  FLIP_MATRIX(m, 2, 2);
  EXPECT_EQ(m, (std::vector<uint8_t>{9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}));
}

TEST_F(ReportFiles, JpegIsBaselineAndDecodesTopRowFirst) {
  const auto bytes = reportFileBytes(canvas, kReportJpeg, study);
  ASSERT_GT(bytes.size(), 1000u);
  bool baseline = false, progressive = false;
  for (size_t i = 0; i + 1 < bytes.size(); ++i) {
    baseline |= bytes[i] == 0xFF && bytes[i + 1] == 0xC0;
    progressive |= bytes[i] == 0xFF && bytes[i + 1] == 0xC2;
  }
  EXPECT_TRUE(baseline);
  EXPECT_FALSE(progressive);
  jpeg_decompress_struct d{};
  jpeg_error_mgr err{};
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, bytes.data(), bytes.size());
  ASSERT_EQ(jpeg_read_header(&d, TRUE), JPEG_HEADER_OK);
  jpeg_start_decompress(&d);
  EXPECT_EQ(d.output_width, 1024u);
  EXPECT_EQ(d.output_height, 1024u);
  EXPECT_EQ(d.output_components, 3);
  std::vector<uint8_t> row(1024 * 3), first, last;
  while (d.output_scanline < d.output_height) {
    JSAMPROW p = row.data();
    jpeg_read_scanlines(&d, &p, 1);
    if (d.output_scanline == 1) first = row;
  }
  last = row;
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  EXPECT_NEAR(first[0], 250, 12);  // red on top
  EXPECT_NEAR(first[2], 0, 12);
  EXPECT_NEAR(last[2], 250, 12);  // blue at the bottom left
}

TEST_F(ReportFiles, DicomIsASecondaryCaptureOfTheAcquisitionsStudy) {
  const SecondaryCaptureIds ids = newSecondaryCaptureIds(study);
  const auto header = CREATE_DCM_HEADER(study, 1024, 1024, ids);
  const ByteReader r(header);
  EXPECT_EQ(r.u32le(header.size() - 4), 3145728u);  // the offset returned is right after the length
  EXPECT_EQ(r.u16le(header.size() - 12), 0x7FE0);

  const auto dir = quorvel::testing::scratchFolder();
  const auto path = dir / "report.dcm";
  ASSERT_TRUE(writeReport(path, kReportDicom, canvas, study).ok());
  const auto dump = run(std::string(QUORVEL_DCMDUMP) + " +P 0008,0016 +P 0008,0018 +P 0008,0060 +P 0008,0064 "
                                                       "+P 0010,0010 +P 0010,0030 +P 0010,0040 +P 0020,000d +P 0020,000e "
                                                       "+P 0028,0004 +P 7fe0,0010 " + path.string());
  ASSERT_EQ(dump.status, 0) << dump.out;
  for (const char* expected : {"=SecondaryCaptureImageStorage", "CS [OT]", "CS [WSD]", "PN [DOE^JANE]",
                               "DA (no value available)", "CS [F]", "UI [1.2.826.0.1.42]", "CS [RGB]", "# 3145728,"})
    EXPECT_NE(dump.out.find(expected), std::string::npos) << expected << "\n" << dump.out;
  EXPECT_EQ(dump.out.find("1.2.3.4.5"), std::string::npos) << "the acquisition's instance UID was copied";
  EXPECT_EQ(dump.out.find(kNmImageStorageUid), std::string::npos) << "the acquisition's class was copied";
  const auto check = run(std::string(QUORVEL_DCIODVFY) + " " + path.string());
  EXPECT_EQ(check.out.find("Error"), std::string::npos) << check.out;
  // Top-down RGB pixels after the header.
  const auto bytes = readWholeFile(path);
  ASSERT_TRUE(bytes);
  const size_t at = bytes->size() - 3145728;
  EXPECT_EQ(std::vector<uint8_t>(bytes->begin() + at, bytes->begin() + at + 3), (std::vector<uint8_t>{250, 0, 0}));
  // Two exports are two objects of two series of the same study.
  const SecondaryCaptureIds again = newSecondaryCaptureIds(study);
  EXPECT_NE(again.sopInstanceUid, ids.sopInstanceUid);
  EXPECT_NE(again.seriesInstanceUid, ids.seriesInstanceUid);
  EXPECT_EQ(again.studyInstanceUid, "1.2.826.0.1.42");
}

TEST_F(ReportFiles, ExportNamesTheFileAndNeverWritesOneThatFailedToOpen) {
  const auto dir = quorvel::testing::scratchFolder();
  NoResults none;
  const ReportInputs in = none.inputs();
  ScriptedPlatform platform;
  platform.saveAnswers.push_back(FileChoice{(dir / "rep.jpg").string(), 2});
  // The typed extension chooses the type whatever the filter, and is not kept before the suffix.
  platform.saveAnswers.push_back(FileChoice{(dir / "report3d.bmp").string(), 2});
  platform.saveAnswers.push_back(FileChoice{(dir / "missing" / "rep").string(), 1});
  platform.saveAnswers.push_back(std::nullopt);
  Options opt;
  opt.LANGUE = kFrench;
  opt.RESEXP_type = 3;
  ASSERT_TRUE(EXPORT_RESULTS_1024(platform, opt, ReportKind::Global, in).ok());
  EXPECT_TRUE(std::filesystem::exists(dir / "rep - global.jpg"));
  EXPECT_EQ(opt.RESEXP_type, 2);
  EXPECT_EQ(platform.texts("save").at(0), "Exporter résultats [Bitmap *.bmp|Jpeg *.jpg|Dicom *.dcm] filter 3");
  const std::string statusSlot = "text:" + std::to_string(static_cast<int>(TextSlot::Status));
  EXPECT_EQ(platform.last(statusSlot)->text, "Compte-rendu enregistré : " + (dir / "rep - global.jpg").string());
  ASSERT_TRUE(EXPORT_RESULTS_1024(platform, opt, ReportKind::Global, in).ok());
  EXPECT_TRUE(std::filesystem::exists(dir / "report3d - global.bmp"));
  EXPECT_EQ(opt.RESEXP_type, kReportBitmap);
  const int statuses = platform.count(statusSlot);
  EXPECT_EQ(EXPORT_RESULTS_1024(platform, opt, ReportKind::Global, in).code(), RefusalCode::CannotWrite);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
  EXPECT_EQ(platform.count(statusSlot), statuses);  // a failed write says nothing was written
  EXPECT_EQ(EXPORT_RESULTS_1024(platform, opt, ReportKind::Global, in).code(), RefusalCode::Cancelled);
  EXPECT_EQ(reportPath("a/b", ReportKind::Local, kReportDicom), "a/b - local.dcm");
  EXPECT_EQ(reportTypeOf("x.JPEG"), kReportJpeg);
  EXPECT_EQ(reportTypeOf("x.png"), 0);
  EXPECT_EQ(reportCanvasSize(0).width, 1536);
  EXPECT_EQ(reportCanvasSize(0).height, 1092);
}

// The square local report has no free row: the patient line is written over the upper 3D view.
TEST_F(ReportFiles, LocalReportCarriesThePatientLine) {
  NoResults none;
  none.w.study.pat_tmp = "Mr PATIENT LINE";
  const Bitmap24 local = composeReport(ReportKind::Local, none.inputs(), 1);
  auto inked = [&](int y0, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = 0; x < 200; ++x) n += local.get(x, y).r == 255 && local.get(x, y).g == 255;
    return n;
  };
  EXPECT_GT(inked(0, 28), 0);
  EXPECT_EQ(inked(28, 120), 0);
}

// With the uncertainty, the global report adds a line of intervals under each results panel; with
// the comparison with the previous exam, its lines under the left one; nothing else changes.
TEST_F(ReportFiles, GlobalReportCarriesTheIntervalsAndTheComparisonUnderTheResults) {
  NoResults none;
  ResultUncertainties u{};
  for (int i = 0; i < kUncertainResults; ++i) u[i] = {50, 1, 1, 1.4, 47.3, 52.7};
  const SerialSummary serial{"20240115", 60, -14, 2.7, true, "10 / 50 %"};
  ReportInputs in = none.inputs();
  const Bitmap24 plain = composeReport(ReportKind::Global, in, 1);
  const struct {
    const ResultUncertainties* uncertainty;
    const SerialSummary* serial;
    int firstColumn;  // the left panel is the right half of the square canvas
  } cases[] = {{&u, nullptr, 0}, {nullptr, &serial, 512}};
  for (const auto& c : cases) {
    in.uncertainty = c.uncertainty, in.serial = c.serial;
    const Bitmap24 with = composeReport(ReportKind::Global, in, 1);
    int changedRows = 0, firstRow = with.height, lastRow = -1, firstColumn = with.width;
    for (int y = 0; y < with.height; ++y) {
      bool changed = false;
      for (int x = 0; x < with.width; ++x) {
        if (plain.get(x, y) == with.get(x, y)) continue;
        changed = true, firstColumn = std::min(firstColumn, x);
      }
      if (!changed) continue;
      ++changedRows, firstRow = std::min(firstRow, y), lastRow = std::max(lastRow, y);
    }
    EXPECT_GT(changedRows, 0) << c.firstColumn;
    // Only within the text panels at the bottom of the square canvas (166 rows from row 15 up).
    EXPECT_GE(firstRow, 1024 - 15 - 166);
    EXPECT_LT(lastRow, 1024 - 15);
    EXPECT_GE(firstColumn, c.firstColumn);
  }
}

// The wide local report shows the fixed-frame segments in the column of the bull's-eyes, under the
// ejection-fraction ones; without an analysis that area stays empty.
TEST_F(ReportFiles, WideLocalReportCarriesTheSegments) {
  NoResults none;
  SegmentalAnalysis a;
  a.valid = true;
  for (int v = 0; v < 2; ++v) {
    a.ventricles[v].count = v == 0 ? kLeftSegments : kRightSegments;
    for (int k = 1; k <= a.ventricles[v].count; ++k) a.ventricles[v].segments[k].ef = 20.0f + 3.0f * k;
  }
  const Bitmap24 panel = segmentalPicture(a, none.w.options.LANGUE, false);
  auto panelTop = [&](const Bitmap24& local) {
    for (int top = 0; top + panel.height <= local.height; ++top) {
      bool same = true;
      for (int y = 0; y < panel.height && same; y += 3)
        for (int x = 0; x < panel.width && same; x += 3) same = local.get(1024 + x, top + y) == panel.get(x, y);
      if (same) return top;
    }
    return -1;
  };
  ReportInputs in = none.inputs();
  EXPECT_EQ(panelTop(composeReport(ReportKind::Local, in, 0)), -1);
  in.segments = &a;
  const int top = panelTop(composeReport(ReportKind::Local, in, 0));
  EXPECT_GE(top, 1092 - (550 + 512)) << "inside the upper block";
  EXPECT_LE(top + panel.height, 1092 - 550);
}

}  // namespace
