// The workstation's commands show the refusals the core returns, in the user's language, and ask
// before they replace work.
#include <gtest/gtest.h>

#include "dicom_builder.h"
#include "segmentation/reorient_texts.h"
#include "segmentation/segmentation_texts.h"
#include "workstation_fixture.h"

namespace quorvel::testing {
namespace {

class WorkstationCommands : public WorkstationTest {
 protected:
  std::filesystem::path file(const std::string& name, const GatedStudy& g) {
    writeBytes(dir / name, g.file());
    return dir / name;
  }
};

TEST_F(WorkstationCommands, OpeningShowsTheStudyAndAsksForAMissingHeartRate) {
  GatedStudy g;
  g.name = "DOE^JANE", g.sex = "F", g.slices = 40;
  platform.screen = {1280, 900};
  ASSERT_TRUE(ws->openAcquisition(file("a.dcm", g), 1).ok());
  EXPECT_EQ(platform.last("text:1")->text, "Mme/Mlle DOE JANE ( 07/06/1945 )  -  Ex : 15/03/2012  -  Fq : 72 bpm");
  EXPECT_EQ(platform.last("text:0")->text, "a.dcm");
  EXPECT_EQ(platform.last("text:2")->text, "Coupes (40)");
  EXPECT_FALSE(platform.heartRatePromptOpen);
  // The mosaic fits the screen: (1280 - 320) / 256 cells across, (900 - 200) / 128 down.
  EXPECT_EQ(ws->mosaic.seg_Xmax, 3);
  EXPECT_EQ(ws->mosaic.seg_Ymax, 5);
  EXPECT_EQ(ws->mosaic.NcellH * ws->mosaic.NcellV >= 15, true);

  g.heartRate.clear();
  ASSERT_TRUE(ws->openAcquisition(file("b.dcm", g), 1).ok());
  EXPECT_TRUE(platform.heartRatePromptOpen);
  EXPECT_EQ(ws->w.study.FREQ_ASKING, 1);
  // The next open closes the prompt left open.
  ASSERT_TRUE(ws->openAcquisition(file("a.dcm", g), 1).ok());
  EXPECT_EQ(platform.count("heart-rate-prompt-close"), 1);
}

TEST_F(WorkstationCommands, RefusedFileIsShownAndTheStudyKept) {
  ASSERT_TRUE(ws->openAcquisition(file("a.dcm", GatedStudy{}), 1).ok());
  const Study before = ws->w.study;
  GatedStudy bad;
  bad.thickness = "nan";
  ws->w.options.LANGUE = kEnglish;
  const Status refused = ws->openAcquisition(file("bad.dcm", bad), 1);
  EXPECT_EQ(refused.code(), RefusalCode::BadVoxelSize);
  EXPECT_EQ(platform.last("warning")->text, refused.refusal().en);
  EXPECT_EQ(ws->w.study.chemin_data, before.chemin_data);
  EXPECT_TRUE(ws->w.study.DATA == before.DATA);
  // The dialog cancelled: nothing read, nothing shown.
  const int warnings = platform.count("warning");
  EXPECT_EQ(ws->openAcquisitionCommand().code(), RefusalCode::Cancelled);
  EXPECT_EQ(platform.count("warning"), warnings);
  EXPECT_EQ(platform.count("open"), 1);
}

TEST_F(WorkstationCommands, RefusedValidationIsShownInTheLanguageOfTheOptions) {
  ws->w.study = blankStudy(2, 24);
  ws->w.settings.reorient.records.N_list = kMaxValidationRecords;
  for (int LANGUE : {kFrench, kEnglish}) {
    ws->w.options.LANGUE = LANGUE;
    EXPECT_EQ(ws->validateStep(), ReorientOutcome::RecordsFull);
    ASSERT_NE(platform.last("warning"), nullptr);
    EXPECT_EQ(platform.last("warning")->text, reorient_texts::kRecordsFull.pick(LANGUE));
  }
}

TEST_F(WorkstationCommands, ResegmentationAsksFirst) {
  PhantomSession p(phantom::buildPhantom(phantom::defaultParams(64)), dir / "p");
  ASSERT_TRUE(segmentInWorkingPose(p.ws));
  for (int l = 1; l <= p.ws.seg.NREG; ++l) p.ws.seg.CORR[l] = kClassOther;  // the user's corrections
  p.platform.questionAnswers = {QuestionAnswer::Cancel};
  EXPECT_FALSE(p.ws.resegmentCommand());
  EXPECT_EQ(p.platform.last("question")->text, segmentation_texts::kUpdateSegmentation.fr);
  EXPECT_EQ(p.ws.seg.CORR[1], kClassOther);
  EXPECT_EQ(p.ws.w.settings.flow.UNDOseg_lev, 0);
  p.platform.questionAnswers = {QuestionAnswer::Ok};
  EXPECT_TRUE(p.ws.resegmentCommand());
  EXPECT_EQ(p.ws.w.settings.flow.UNDOseg_lev, 1);
  // Without a segmentation there is nothing to ask.
  EXPECT_FALSE(ws->resegmentCommand());
  EXPECT_EQ(platform.count("question"), 0);
}

}  // namespace
}  // namespace quorvel::testing
