// Exams and templates on the digital phantom: saved, reopened, replayed, refused, and a save that
// fails half-way.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include <sys/resource.h>
#include <unistd.h>

#include "base/byte_reader.h"
#include "exam/exam_texts.h"
#include "export/report.h"
#include "export/spreadsheet.h"
#include "phantom/writers.h"
#include "phantom_session.h"
#include "run_command.h"
#include "scratch_folder.h"
#include "ui/results_json.h"
#include "ui/model3d_input.h"
#include "ui/script.h"
#include "ui/shell.h"
#include "ui/shell_texts.h"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;

class Exams : public ::testing::Test {
 protected:
  void SetUp() override { dir = scratchFolder(); }

  // A phantom placed automatically and segmented, with its volume curves fitted (left ejection
  // fraction near the phantom's) and the 3D model when asked.
  std::unique_ptr<PhantomSession> analysed(const phantom::PhantomParams& p, bool model3d) {
    const phantom::Phantom ph = phantom::buildPhantom(p);
    auto s = std::make_unique<PhantomSession>(ph, dir);
    Workstation& ws = s->ws;
    fitMosaicToScreen(ws.mosaic, s->platform.screenSize());  // as the open command lays it out
    FORMATE_SEGMENT_DISPLAY(ws.mosaic, ws.w.study.NCZ, ws.log);
    EXPECT_TRUE(ws.proposePlacementCommand().ok());
    EXPECT_EQ(ws.validateStep(), ReorientOutcome::StepValidated);
    selectStep(ws.w.settings.flow, 1);
    EXPECT_EQ(ws.validateStep(), ReorientOutcome::StepValidated);
    EXPECT_EQ(ws.validateStep(), ReorientOutcome::Segmented);
    EXPECT_EQ(ws.checkVentricles(), 1);
    EXPECT_TRUE(ws.computeCurves().ok());
    const auto [lo, hi] = std::minmax_element(ph.lv_true_ml.begin(), ph.lv_true_ml.end());
    EXPECT_NEAR(ws.curves.vc.G.FES, 100 * (*hi - *lo) / *hi, 10.0);
    ws.shell._MENU_ = kStageResults;
    if (model3d) {
      EXPECT_TRUE(ws.buildModel3D());
      ws.w.settings.flow.Previsu_OK = ws.w.settings.flow.build_visu = 1;
      ws.shell._MENU_ = kStageResults3D;
    }
    return s;
  }
  static std::vector<uint8_t> bytes(const fs::path& p) { return readWholeFile(p).value_or(std::vector<uint8_t>{}); }

  fs::path dir;
};

TEST_F(Exams, ReopenedExamGivesTheSameResultsAndTheSameBytes) {
  auto a = analysed(phantom::defaultParams(), true);
  a->ws.w.settings.flow.comment = "reviewed";
  a->ws.w.study.dicomPatientName = "DOE^JANE";
  a->ws.model.maps.MC_v = {1, 2};
  a->ws.model.maps.MC_ar = {100, 200};
  refreshPickedCurves(a->ws);
  const auto picked = a->ws.shell.pickedCurves;
  ASSERT_TRUE(picked[0].valid && picked[1].valid);
  const fs::path file = dir / "phantom";  // ".qvx" is added
  ASSERT_TRUE(a->ws.saveExam(file));
  const auto saved = bytes(dir / "phantom.qvx");
  EXPECT_EQ(a->platform.last("text:" + std::to_string(static_cast<int>(TextSlot::Status)))->text,
            "Examen enregistré : " + (dir / "phantom.qvx").string());

  PhantomSession b(dir);
  ASSERT_TRUE(b.ws.openExam(dir / "phantom.qvx"));
  EXPECT_EQ(b.platform.count("progress-begin"), 1);  // reopening a large exam shows a wait window
  EXPECT_EQ(b.platform.count("progress-end"), 1);
  EXPECT_EQ(b.platform.suggestedFileStem.rfind("DOE_JANE", 0), 0u) << b.platform.suggestedFileStem;
  EXPECT_EQ(b.ws.shell._MENU_, kStageResults3D);
  EXPECT_EQ(resultsJson(b.ws).dump(), resultsJson(a->ws).dump());
  EXPECT_EQ(model3dJson(b.ws).dump(), model3dJson(a->ws).dump());
  EXPECT_EQ(b.ws.model.maps.MESH_FEJ, a->ws.model.maps.MESH_FEJ);
  EXPECT_EQ(b.ws.model.eye.mesh_sect_fej, a->ws.model.eye.mesh_sect_fej);
  EXPECT_EQ(b.ws.seg.LPE, a->ws.seg.LPE);
  EXPECT_TRUE(b.ws.seg.RECOUP == a->ws.seg.RECOUP);  // recounted from the labels
  // The points picked before saving show the same curves once reopened.
  refreshPickedCurves(b.ws);
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(b.ws.shell.pickedCurves[k].caption, picked[k].caption) << k;
    EXPECT_EQ(b.ws.shell.pickedCurves[k].y, picked[k].y) << k;
  }
  EXPECT_EQ(b.ws.w.settings.flow.comment, "reviewed");
  EXPECT_EQ(b.ws.w.settings.flow.UNDOseg_lev, 0);

  ASSERT_TRUE(b.ws.saveExam(dir / "phantom.qvx"));
  EXPECT_TRUE(bytes(dir / "phantom.qvx") == saved);

  // An earlier file holds no picked triangle: no picked curve, and its bytes come back as they were.
  std::vector<uint8_t> earlier = saved;
  std::fill_n(earlier.begin() + exam_offsets::kPickedTriangles, 8, uint8_t{0});
  std::ofstream(dir / "phantom.qvx", std::ios::binary).write(reinterpret_cast<const char*>(earlier.data()),
                                                             static_cast<std::streamsize>(earlier.size()));
  PhantomSession c(dir);
  ASSERT_TRUE(c.ws.openExam(dir / "phantom.qvx"));
  refreshPickedCurves(c.ws);
  EXPECT_FALSE(c.ws.shell.pickedCurves[0].valid || c.ws.shell.pickedCurves[1].valid);
  ASSERT_TRUE(c.ws.saveExam(dir / "phantom.qvx"));
  EXPECT_TRUE(bytes(dir / "phantom.qvx") == earlier);
}

// The identifiers a report needs, whole in the report and kept by the exam (in bytes an earlier
// build leaves empty, and whose exams still open).
TEST_F(Exams, ReportOfAReopenedExamJoinsTheStudyAndNamesThePatientWhole) {
  phantom::PhantomParams p = phantom::defaultParams();
  p.patient.name = "LONGFAMILYNAME-WITH-FORTY-ONE-CHARACTERS^JANE^Q";
  p.patient.id = "HOSP-2026-000000042";
  const auto file = phantom::writeAcquisitions(phantom::buildPhantom(p), dir, "id",
                                               {phantom::OutputFormat::DicomExplicit})
                        .at(0);
  PhantomSession a(dir);
  ASSERT_TRUE(a.ws.openAcquisition(file, kFormatDicom));
  ASSERT_TRUE(segmentInWorkingPose(a.ws));
  a.ws.shell._MENU_ = kStageSegmentation;
  const std::string uid = a.ws.w.study.studyInstanceUid;
  ASSERT_FALSE(uid.empty());
  ASSERT_TRUE(a.ws.saveExam(dir / "id.qvx"));
  PhantomSession b(dir / "b");
  ASSERT_TRUE(b.ws.openExam(dir / "id.qvx")) << b.platform.calls.back().text;
  EXPECT_EQ(b.ws.w.study.studyInstanceUid, uid);
  Bitmap24 canvas(64, 64);
  ASSERT_TRUE(writeReport(dir / "r.dcm", kReportDicom, canvas, b.ws.w.study).ok());
  const auto dump = run(std::string(QUORVEL_DCMDUMP) + " +P 0010,0010 +P 0010,0020 +P 0020,000d " + (dir / "r.dcm").string());
  for (const std::string& whole : {p.patient.name, p.patient.id, uid})
    EXPECT_NE(dump.out.find("[" + whole + "]"), std::string::npos) << whole << "\n" << dump.out;

  // An exam of the earlier layout: those bytes empty. It opens; its report has the cut copies.
  auto old = bytes(dir / "id.qvx");
  std::fill(old.begin() + exam_offsets::kIdentityBlock, old.begin() + exam_offsets::kDicomPatientId + 68, 0);
  std::ofstream(dir / "old.qvx", std::ios::binary).write(reinterpret_cast<const char*>(old.data()), old.size());
  PhantomSession c(dir / "c");
  ASSERT_TRUE(c.ws.openExam(dir / "old.qvx"));
  EXPECT_TRUE(c.ws.w.study.studyInstanceUid.empty());
  EXPECT_EQ(c.ws.w.study.dicomPatientId, "");
  EXPECT_EQ(c.ws.seg.LPE, b.ws.seg.LPE);
}

TEST_F(Exams, RefusedFilesLeaveTheStudyAsItWas) {
  auto a = analysed(phantom::defaultParams(), false);
  ASSERT_TRUE(a->ws.saveExam(dir / "good.qvx"));
  const auto good = bytes(dir / "good.qvx");
  std::ofstream(dir / "cut.qvx", std::ios::binary).write(reinterpret_cast<const char*>(good.data()), 3000000);
  std::ofstream(dir / "text.qvx") << "not an exam";

  auto b = analysed(phantom::defaultParams(), false);
  b->ws.shell._MENU_ = kStageSegmentation;
  const std::vector<float> counts = b->ws.w.study.DATA;
  for (const char* name : {"cut.qvx", "text.qvx", "missing.qvx"}) {
    const Status s = b->ws.openExam(dir / name);
    ASSERT_FALSE(s) << name;
    EXPECT_EQ(s.code(), RefusalCode::NotAnExam) << name;
    EXPECT_EQ(b->platform.last("warning")->text, exam_texts::kInvalid.fr);
    EXPECT_EQ(b->platform.calls.back().kind, "warning") << name;  // a wait window is gone before it
    EXPECT_EQ(b->platform.count("progress-begin"), b->platform.count("progress-end"));
    EXPECT_EQ(b->ws.shell._MENU_, kStageSegmentation);
    EXPECT_TRUE(b->ws.w.study.DATA == counts);
  }
}

TEST_F(Exams, FailedSaveLeavesThePreviousExamIntact) {
  auto a = analysed(phantom::defaultParams(), false);
  ASSERT_TRUE(a->ws.saveExam(dir / "exam.qvx"));
  const auto before = bytes(dir / "exam.qvx");
  a->ws.w.settings.flow.comment = "changed";

  struct Failure {
    const char* what;
    std::function<void()> on, off;
  };
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  std::vector<Failure> failures{
      {"the disk fills up", [] {
         std::signal(SIGXFSZ, SIG_IGN);
         const rlimit small{1 << 20, RLIM_INFINITY};
         setrlimit(RLIMIT_FSIZE, &small);
       },
       [&] { setrlimit(RLIMIT_FSIZE, &limit); }}};
  if (geteuid() != 0)  // the superuser writes into read-only folders
    failures.push_back({"a read-only folder", [&] { fs::permissions(dir, fs::perms::owner_write, fs::perm_options::remove); },
                        [&] { fs::permissions(dir, fs::perms::owner_write, fs::perm_options::add); }});
  for (const Failure& f : failures) {
    f.on();
    const Status s = a->ws.saveExam(dir / "exam.qvx");
    f.off();
    ASSERT_FALSE(s) << f.what;
    EXPECT_EQ(s.code(), RefusalCode::ExamNotWritten);
    EXPECT_NE(a->platform.last("warning")->text.find("Le fichier précédent est resté intact"), std::string::npos);
    EXPECT_TRUE(bytes(dir / "exam.qvx") == before) << f.what;
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir)) files += e.is_regular_file();
    EXPECT_EQ(files, 1) << f.what << ": no temporary file left";
  }
}

TEST_F(Exams, TemplateReplaysTheSettingsOnAnotherStudy) {
  auto a = analysed(phantom::defaultParams(), false);
  a->ws.w.settings.limits.limG_sup[2] -= 3;  // a correction by hand the template must carry
  ASSERT_TRUE(a->ws.saveExam(dir / "template.qvx"));

  phantom::PhantomParams other = phantom::defaultParams();
  other.seed = 7;
  PhantomSession c(phantom::buildPhantom(other), dir);
  c.ws.w.options.ECH = 700;  // settings the template replaces
  c.ws.w.study.seuillage = 45;
  ASSERT_TRUE(c.ws.applyTemplate(dir / "template.qvx"));
  const ReorientSettings &ra = a->ws.w.settings.reorient, &rc = c.ws.w.settings.reorient;
  EXPECT_EQ(rc.records.N_list, ra.records.N_list);
  EXPECT_EQ(rc.records.list_recad_t, ra.records.list_recad_t);
  EXPECT_EQ(rc.records.list_fich_axis, ra.records.list_fich_axis);
  EXPECT_EQ(c.ws.w.options.ECH, a->ws.w.options.ECH);
  EXPECT_EQ(c.ws.w.study.seuillage, a->ws.w.study.seuillage);
  EXPECT_EQ(c.ws.w.settings.limits.limG_sup, a->ws.w.settings.limits.limG_sup);
  EXPECT_EQ(c.ws.seg.CORR, a->ws.seg.CORR);
  EXPECT_EQ(c.ws.seg.LPE, a->ws.seg.LPE);
  EXPECT_EQ(c.ws.seg.CARD, a->ws.seg.CARD);  // recounted from the template's labels
  // The template's classes measured on the new counts.
  ASSERT_TRUE(c.ws.computeCurves().ok());
  EXPECT_NE(c.ws.curves.vc.volG[0], a->ws.curves.vc.volG[0]);
  EXPECT_NEAR(c.ws.curves.vc.G.FES, a->ws.curves.vc.G.FES, 5.0);

  phantom::PhantomParams thinner = phantom::defaultParams();
  thinner.slices = 48;
  PhantomSession d(phantom::buildPhantom(thinner), dir);
  const Status refused = d.ws.applyTemplate(dir / "template.qvx");
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.code(), RefusalCode::TemplateGeometry);
  EXPECT_EQ(d.ws.w.settings.flow.segment_done, 0);
}

TEST_F(Exams, ScriptedFrontEndSavesReopensAndSetsOptions) {
  auto a = analysed(phantom::defaultParams(), false);
  const std::string path = (dir / "scripted.qvx").string();
  std::istringstream script("comment seen twice\nsave-exam " + path +
                            "\nanswer yes\nopen-exam " + path +
                            "\nexpect-stage 3\ncommand 49\noption threshold 95\noption preview 48\n"
                            "option colour 0,0,0\nkey Return\nexpect-stage 3\n");
  std::string error;
  const auto events = parseScript(script, error);
  ASSERT_TRUE(events) << error;
  std::ostringstream out;
  ASSERT_TRUE(runScript(a->ws, a->platform, *events, out)) << out.str();
  EXPECT_EQ(out.str().find("FAILED"), std::string::npos) << out.str();
  EXPECT_EQ(a->ws.w.settings.flow.comment, "seen twice");
  const Options& o = a->ws.w.options;
  EXPECT_EQ(o.DEFAULT_seuil, 90);
  EXPECT_EQ(o.mesh_Pdiv, 48);
  EXPECT_EQ((std::array{o.BK_r, o.BK_g, o.BK_b}), (std::array<unsigned char, 3>{10, 10, 10}));
  Options written;
  ASSERT_EQ(LOAD_OPTIONS(dir, written), 1);  // validating the panel wrote the file
  EXPECT_EQ(written.DEFAULT_seuil, 90);
}

// The spreadsheet commands from a script: the 17-sector table only with 17 sectors, its row
// starting with the patient form's fields.
TEST_F(Exams, ScriptedSpreadsheetExports) {
  auto a = analysed(phantom::defaultParams(), true);
  const TableInputs in{a->ws.w.study, a->ws.curves.vc, a->ws.model.maps, a->ws.model.eye, &a->ws.segmental};
  a->ws.w.options.SECT_25 = 25;
  Study& s = a->ws.w.study;  // what a DICOM file of the patient gives
  s.dicomPatientName = "PHANTOM^GATED", s.PAT_SEX = "M", s.PAT_DATE = "01/01/1960", s.ACQ_DATE = "15/01/2024";
  std::istringstream script("export-table " + (dir / "global").string() + "\nexport-table17 " +
                            (dir / "none.xls").string() + "\ncommand 49\noption sectors 17\nkey Return\nexport-table17 " +
                            (dir / "sectors.xls").string() + " name=Dupont age=64\n");
  std::string error;
  const auto events = parseScript(script, error);
  ASSERT_TRUE(events) << error;
  std::ostringstream out;
  ASSERT_TRUE(runScript(a->ws, a->platform, *events, out)) << out.str();
  EXPECT_NE(out.str().find(shell_texts::kOnly17Sectors.fr), std::string::npos) << out.str();
  EXPECT_FALSE(fs::exists(dir / "none.xls"));
  const auto global = bytes(dir / "global.xls");
  EXPECT_EQ(std::string(global.begin(), global.end()), resultsTable(in));
  PatientFields fields;
  fields[0] = "Dupont", fields[3] = "64";
  const auto sectors = bytes(dir / "sectors.xls");
  EXPECT_EQ(std::string(sectors.begin(), sectors.end()), sectorTable(in, fields, INIT_EXCEL_ETIKETS()));
  EXPECT_TRUE(a->ws.segmental.valid);  // the row carries the segments, not empty cells
  // The form opened with what the study says of the patient.
  ASSERT_TRUE(a->platform.lastForm);
  const std::vector<FormField>& shown = a->platform.lastForm->fields;
  EXPECT_EQ((std::array{shown[0].text, shown[1].text, shown[2].text, shown[5].text, shown[8].text, shown[4].text}),
            (std::array<std::string, 6>{"PHANTOM", "GATED", "M", "01/01/1960", "15/01/2024", ""}));
}

}  // namespace
}  // namespace quorvel::testing
