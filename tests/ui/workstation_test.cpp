// The workstation's commands show the refusals the core returns, in the user's language, and ask
// before they replace work.
#include <gtest/gtest.h>

#include "segmentation/reorient_texts.h"
#include "segmentation/segmentation_texts.h"
#include "workstation_fixture.h"

namespace quorvel::testing {
namespace {

class WorkstationCommands : public WorkstationTest {};

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
