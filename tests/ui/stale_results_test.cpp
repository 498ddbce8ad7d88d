// Ordinary sequences of actions that once left results computed from inputs changed since, or
// acted on the wrong object; each runs through the scripted front end on the phantom.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include <unistd.h>

#include "fresh_results.h"
#include "phantom/writers.h"
#include "render/view_geometry.h"
#include "ui/script.h"
#include "ui/model3d_input.h"
#include "ui/shell.h"
#include "ui/compare_texts.h"
#include "ui/derived_texts.h"
#include "ui/serial_comparison.h"
#include "ui/uncertainty.h"
#include "workstation_fixture.h"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;

// Automatic placement, the three views validated: the segmentation stage.
constexpr const char* kRoad = R"(open @STUDY@
command 200
key Return
key Tab
key Return
key Return
)";

class StaleResults : public WorkstationTest {
 protected:
  // A folder per process: CTest runs each test of the suite in a process of its own, several at once.
  static void SetUpTestSuite() {
    data = fs::path(QUORVEL_TEST_TMP) / ("stale_results_" + std::to_string(getpid()));
    fs::remove_all(data);
    fs::create_directories(data / "temp");
    const auto files =
        phantom::writeAcquisitions(phantom::buildPhantom(phantom::defaultParams(64)), data, "ph",
                                   {phantom::OutputFormat::DicomExplicit, phantom::OutputFormat::Interfile});
    study = files.at(0).string();
    interfile = files.at(1).string();
    // The straight road's results and its exam, also used as a template.
    ScriptedPlatform p;
    Workstation ws(p, data);
    std::ostringstream log;
    ASSERT_TRUE(runText(ws, p, std::string(kRoad) + "command 52\nsave-exam @DATA@/road.qvx\n", log)) << log.str();
    reference = ws.curves.vc;
    referenceRate = ws.w.study.CARD_FREQ;
  }
  static void TearDownTestSuite() { fs::remove_all(data); }

  static std::string substitute(std::string text) {
    const std::pair<std::string, std::string> names[] = {{"@STUDY@", study},
                                                         {"@INTERFILE@", interfile},
                                                         {"@DATA@", data.string()},
                                                         {"@EXAM@", (data / "road.qvx").string()}};
    for (const auto& [name, value] : names)
      for (size_t at; (at = text.find(name)) != std::string::npos;) text.replace(at, name.size(), value);
    return text;
  }
  static bool runText(Workstation& ws, ScriptedPlatform& p, const std::string& text, std::ostream& out) {
    std::istringstream in(substitute(text));
    std::string error;
    const auto events = parseScript(in, error);
    EXPECT_TRUE(events) << error;
    return events && runScript(ws, p, *events, out);
  }
  // The script's printed outcomes.
  std::string run(const std::string& text) {
    std::ostringstream out;
    EXPECT_TRUE(runText(*ws, platform, text, out)) << out.str();
    return out.str();
  }
  int stage() const { return ws->shell._MENU_; }
  std::string shownText(TextSlot slot) const {
    const auto* call = platform.last("text:" + std::to_string(static_cast<int>(slot)));
    return call ? call->text : "";
  }
  // The mosaic pixel of a voxel of the left ventricle at the current instant, on a slice shown.
  std::pair<int, int> leftVentriclePixel() const {
    const Study& s = ws->w.study;
    const int shown = ws->mosaic.NcellH * ws->mosaic.NcellV;
    for (int z = s.seg_affmin + shown / 2; z < std::min(s.NCZ, s.seg_affmin + shown); ++z)
      for (int r = 0; r < kMatrix; ++r)
        for (int c = 0; c < kMatrix; ++c)
          if (ws->seg.CORR[ws->seg.LPE[Segmentation::index(s.NCZ, s.instant, z, r, c)]] == kClassLeft) {
            const auto [x, y] = mosaicPixelOf(ws->mosaic, s.seg_affmin, SliceVoxel{z, r, c}, false);
            return {x + 1, y + 1};
          }
    ADD_FAILURE() << "no left ventricle on the mosaic";
    return {0, 0};
  }
  void expectReferenceResults() {
    EXPECT_EQ(stage(), kStageResults);
    EXPECT_EQ(curvesDifference(ws->curves.vc, reference, ws->w.study.Ninst), "");
  }
  void expectFreshResults() {
    EXPECT_EQ(curvesDifference(ws->curves.vc, freshCurves(*ws), ws->w.study.Ninst), "");
  }

  static inline fs::path data;
  static inline std::string study, interfile;
  static inline VolumeCurves reference;
  static inline float referenceRate = 0;
};

TEST_F(StaleResults, SectorLayoutChangedByKeyRedoesTheSectorMeans) {
  run(std::string(kRoad) + R"(command 49
option sectors 19
option axial 24
option angular 24
key Return
key Return
answer yes
command 54
key F
key F
key F
)");
  ASSERT_EQ(stage(), kStageResults3D);
  ASSERT_EQ(ws->w.options.SECT_25, 17);
  EXPECT_EQ(sectorsDifference(ws->model.eye, freshSectors(*ws), 17), "");
  run("export-table17 " + (dir / "s17.xls").string() + "\n");
  EXPECT_TRUE(fs::exists(dir / "s17.xls"));
}

// The intervals measured in the background are kept only for the results they were measured on:
// a refit while they are measured drops them when they arrive, a refit afterwards hides them.
TEST_F(StaleResults, IntervalsMeasuredInTheBackgroundFollowTheirResults) {
  const int L = ws->w.options.LANGUE;
  auto statusSays = [&](const Text& t) {
    return shownText(TextSlot::Status).rfind(std::string(t.pick(L)).substr(0, 20), 0) == 0;
  };
  auto panelHasInterval = [&] { return shownText(TextSlot::ResultsLeft).find("95 %") != std::string::npos; };
  int tables = 0;  // the results table carries the intervals exactly when the panels do
  auto tableHasInterval = [&] {
    const fs::path table = dir / ("t" + std::to_string(++tables) + ".xls");
    run("export-table " + table.string() + "\n");
    std::ifstream in(table, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_FALSE(text.empty());
    return text.find("IC 95 %") != std::string::npos;
  };
  run(std::string(kRoad) + "command 52\ncommand 206\n");
  EXPECT_TRUE(ws->uncertaintyJob.running());
  EXPECT_TRUE(statusSays(derived_texts::kUncertaintyProgress));
  EXPECT_FALSE(panelHasInterval());
  run("command 51\ntick background\n");  // it ends while another stage is shown
  ASSERT_TRUE(ws->uncertainty && ws->uncertainty->valid) << shownText(TextSlot::Status);
  EXPECT_TRUE(ws->uncertainty->placementMeasured);
  EXPECT_TRUE(statusSays(derived_texts::kUncertaintyMeasured));
  run("command 52\n");
  EXPECT_TRUE(resultCurrent(*ws, Derived::Uncertainty));
  const ResultVector shown = resultVectorOf(ws->curves.vc);
  for (int i = 0; i < kUncertainResults; ++i) {
    const ResultUncertainty& u = ws->uncertainty->results[i];
    EXPECT_EQ(u.value, shown[i]) << kUncertainResultKeys[i];
    EXPECT_LE(u.low95, u.value);
    EXPECT_GE(u.high95, u.value);
  }
  EXPECT_TRUE(panelHasInterval());
  EXPECT_TRUE(tableHasInterval());
  EXPECT_EQ(shownText(TextSlot::ResultsLeft), resultsPanelText(*ws, 1));

  run("key Right\n");  // another fitting method: the intervals were not measured on it
  EXPECT_FALSE(resultCurrent(*ws, Derived::Uncertainty));
  EXPECT_FALSE(panelHasInterval());
  EXPECT_FALSE(tableHasInterval());

  run("command 206\nkey Left\ntick background\n");  // refit while measuring
  EXPECT_TRUE(statusSays(derived_texts::kUncertaintyOutOfDate));
  EXPECT_FALSE(resultCurrent(*ws, Derived::Uncertainty));
  EXPECT_FALSE(panelHasInterval());

  run("command 206\ncommand 207\ntick background\n");
  EXPECT_TRUE(statusSays(derived_texts::kUncertaintyStopped));
  EXPECT_FALSE(panelHasInterval());
  EXPECT_FALSE(commandEnabled(*ws, kCmdStopUncertainty));
  run("command 51\n");
  EXPECT_FALSE(commandEnabled(*ws, kCmdUncertainty));  // measured on the results shown only
}

// A square whose neighbour one row up loses part of both ventricles to the other structures: the
// measured intervals come with the warning that both ejection fractions hang on the placement.
TEST_F(StaleResults, IntervalsSayWhenAResultHangsOnThePlacement) {
  run("open @STUDY@\ncommand 200\n");
  ReorientSettings& r = ws->w.settings.reorient;
  r.recad_x = 30, r.recad_y = 33, r.recad_t = 40;
  run("key Return\nkey Tab\nkey Return\nkey Return\ncommand 52\ncommand 206\ntick background\n");
  ASSERT_TRUE(ws->uncertainty && ws->uncertainty->placementMeasured) << shownText(TextSlot::Status);
  const PlacementSensitivity s = placementSensitivityOf(*ws->uncertainty);
  // Both ventricles past their limits: one line names both, before the intervals' own line.
  EXPECT_GE(s.efPoints[0], kPlacementSensitiveEfPoints[0]);
  EXPECT_GE(s.efPoints[1], kPlacementSensitiveEfPoints[1]);
  const std::string line = placementSensitiveLine(s, ws->w.options.LANGUE);
  for (double points : s.efPoints) EXPECT_NE(line.find(format("%.1f", points)), std::string::npos) << line;
  EXPECT_EQ(shownText(TextSlot::Status).rfind(line, 0), 0u) << shownText(TextSlot::Status);
}

// The open exam compared with the same study saved earlier but framed larger: no change beyond
// the minimal detectable one, no alert, the offer to place it as the earlier exam, the line kept for
// the report until the results change.
TEST_F(StaleResults, ComparisonWithAnEarlierExamFollowsTheResults) {
  run("open @STUDY@\ncommand 200\nkey ctrl+Up\nkey ctrl+Up\nkey Return\nkey Tab\nkey Return\nkey Return\ncommand 52\n");
  ASSERT_TRUE(commandEnabled(*ws, kCmdCompareExams));
  run("compare @EXAM@\n");
  const SerialSummary* s = currentSerialSummary(*ws);
  ASSERT_NE(s, nullptr) << platform.calls.back().text;
  EXPECT_EQ(s->previousEf, reference.G.FES);
  EXPECT_LT(std::abs(s->change), s->mdc);
  EXPECT_GT(s->mdc, 0.5);
  EXPECT_FALSE(s->flagged);
  EXPECT_EQ(s->criterion, kFallCriteria[ws->w.options.fallCriterion].label);
  const auto* shown = platform.last("information");
  ASSERT_NE(shown, nullptr);
  EXPECT_NE(shown->text.find("1 -> 2"), std::string::npos) << shown->text;
  const std::string offer = compare_texts::kPlaceAlike.pick(ws->w.options.LANGUE);
  EXPECT_EQ(platform.last("question")->text.substr(0, 9), offer.substr(0, 9));  // declined: nothing changed
  EXPECT_EQ(stage(), kStageResults);
  run("key Right\n");  // another fitting method: the comparison no longer holds
  EXPECT_EQ(currentSerialSummary(*ws), nullptr);
}

TEST_F(StaleResults, OptionsPanelLeftByItsStageAppliesTheMethodAndTheLanguage) {
  run(std::string(kRoad) + "command 52\ncommand 49\noption method 2\noption language 1\ncommand 52\n");
  EXPECT_EQ(stage(), kStageResults);
  EXPECT_EQ(ws->w.settings.curves.TACFIT_switch, 2);
  expectFreshResults();
  EXPECT_NE(ws->curves.vc.G.FES, reference.G.FES);  // method 2, not the method-1 numbers
  EXPECT_EQ(shownText(TextSlot::ResultsLeft),
            std::string(ventriclePanelTitle(1, kEnglish)) + "\n" + ventricleResultsText(ws->curves.vc.G, kEnglish));
}

TEST_F(StaleResults, FileWindowMovesOnlyBeforeTheFirstValidation) {
  const std::string out = run(R"(open @STUDY@
command 200
key Return
keydown W
key Up
key Down
keyup W
key Tab
key Return
key Return
command 52
)");
  EXPECT_NE(out.find("warning: "), std::string::npos) << out;
  expectReferenceResults();
  // After the results, back to the first view: the window does not move either.
  run("command 66\nkey Tab\nkeydown W\nkey Left\nkeyup W\ncommand 51\ncommand 52\n");
  expectReferenceResults();
}

TEST_F(StaleResults, CountsMirroredUnderASegmentationAreNotShownWithIt) {
  run(std::string(kRoad) + "command 52\ncommand 66\nkey shift+V\n");
  const int warnings = platform.count("warning");
  run("command 52\n");
  EXPECT_NE(stage(), kStageResults);
  EXPECT_GT(platform.count("warning"), warnings);
  run("command 53\ncommand 51\n");  // nor the preview, nor the old outlines
  EXPECT_EQ(stage(), kStageReorientation);
  run("key shift+V\ncommand 52\n");  // mirrored back: the same counts again
  expectReferenceResults();
}

TEST_F(StaleResults, HeartRatePromptClosesWithItsStudy) {
  run("open @INTERFILE@\n");
  ASSERT_TRUE(platform.heartRatePromptOpen);
  const std::string out = run("answer yes\nopen-exam @EXAM@\nanswer 120\n");
  EXPECT_FALSE(platform.heartRatePromptOpen);
  EXPECT_EQ(ws->w.study.CARD_FREQ, referenceRate) << out;
  EXPECT_EQ(ws->curves.vc.G.TFS, reference.G.TFS);
  expectFreshResults();
}

TEST_F(StaleResults, ExamSavedAfterACorrectionReopensWithItsResults) {
  run(std::string(kRoad) + "command 52\ncommand 51\n");
  const auto [x, y] = leftVentriclePixel();
  run("move segmentation " + std::to_string(x) + " " + std::to_string(y) + "\nkey Up\n");
  run("save-exam " + (dir / "corrected").string() + "\nanswer yes\nopen-exam " + (dir / "corrected.qvx").string() +
      "\n");
  EXPECT_EQ(stage(), kStageSegmentation);
  expectFreshResults();
  EXPECT_LT(ws->curves.vc.G.volmax, reference.G.volmax - 1);
}

TEST_F(StaleResults, KeysActOnlyUnderThePointerOfTheirView) {
  run(kRoad);
  const auto [x, y] = leftVentriclePixel();
  const Segmentation before = ws->seg;
  run("command 66\nmove reorientation " + std::to_string(x) + " " + std::to_string(y) + "\ncommand 51\nkey Up\n");
  EXPECT_EQ(stage(), kStageSegmentation);
  EXPECT_EQ(ws->seg.CORR, before.CORR);
  EXPECT_EQ(ws->seg.LPE, before.LPE);
}

TEST_F(StaleResults, TemplateOnAReorientedStudyStartsFromTheFile) {
  run(std::string(kRoad) + "command 52\ntemplate @EXAM@\ncommand 52\n");
  expectReferenceResults();
}

TEST_F(StaleResults, FileWindowArrowsFollowTheHelp) {
  run("open @STUDY@\nkeydown W\nkey Left\nkeyup W\n");
  EXPECT_EQ(ws->w.study.mantrans_y, 10);
  run("keydown W\nkey Right\nkey Right\nkeyup W\n");
  EXPECT_EQ(ws->w.study.mantrans_y, 6);
}

TEST_F(StaleResults, RightArrowOfThePreviewAppliesToEveryInstant) {
  run(std::string(kRoad) + "key Return\nkeydown X\nkey PageDown\nkeyup X\nkey Right\n");
  ASSERT_EQ(stage(), kStagePreview);
  EXPECT_EQ(ws->w.study.instant, 0);
  const auto& curvature = ws->model3d.model3d.Apex_deriv[previewVentricle(*ws)];
  EXPECT_NE(curvature[0], 1.0f);
  for (int t = 1; t < ws->w.study.Ninst; ++t) EXPECT_EQ(curvature[t], curvature[0]) << "instant " << t;
}

TEST_F(StaleResults, CommandNotOfferedIsDisabledForEveryFrontEnd) {
  EXPECT_EQ(run("command 52\n"), "line 1: disabled\n");
  EXPECT_EQ(stage(), kStageNone);
}

}  // namespace
}  // namespace quorvel::testing
