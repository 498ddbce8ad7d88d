// The results stage's texts, its axis bounds and the method and setting commands.
#include <gtest/gtest.h>

#include "base/language.h"
#include "curves/method_commands.h"
#include "curves/volume_results.h"

namespace quorvel {
namespace {

TEST(VolumeAxes, BoundsRoundUpToTheirSteps) {
  EXPECT_FLOAT_EQ(volumeAxisBound(47), 60);
  EXPECT_FLOAT_EQ(volumeAxisBound(2), 20);
  EXPECT_FLOAT_EQ(volumeAxisBound(0), 20);
  EXPECT_FLOAT_EQ(rateAxisBound(3.2f), 4);
  EXPECT_FLOAT_EQ(rateAxisBound(4.0f), 6);
}

TEST(ResultsText, BothLanguagesWithTheEjectionRateShownNegative) {
  VentricleResults r;
  r.volmax = 120.4f, r.volmin = 48.2f, r.VES = 72.2f, r.debit = 5.054f, r.FES = 59.97f, r.TFS = 300;
  r.PER = 3.14f, r.TPER = 150.7f, r.PFR = 3.85f, r.TPFR = 385.7f;
  EXPECT_EQ(ventricleResultsText(r, kEnglish),
            "Telediastolic volume = 120 cc\nTelesystolic volume = 48 cc\nEjection volume = 72 cc   -   Flow = 5.1 L / "
            "min\n\nEjection fraction = 60 %\nTime of end systole : 300 ms\n\nPeak eject. rate = -378 cc/s  (-3.14)   "
            "-   t-PER = 150 ms\nPeak fill. rate = 463 cc/s  (3.85)   -   t-PFR = 385 ms\n");
  EXPECT_EQ(ventricleResultsText(r, kFrench),
            "Volume télédiastolique = 120 cc\nVolume télésystolique = 48 cc\nVolume d'éjection = 72 cc   -   Débit = "
            "5.1 L / min\n\nFraction d'éjection = 60 %\nTemps de fin de systole : 300 ms\n\nDébit eject. max. = -378 "
            "cc/s  (-3.14)   -   t-DEM = 150 ms\nDébit remp. max. = 463 cc/s  (3.85)   -   t-DRM = 385 ms\n");
  EXPECT_STREQ(ventriclePanelTitle(1, kFrench), "Ventricule Gauche");
  EXPECT_STREQ(ventriclePanelTitle(2, kEnglish), "Right Ventricle");
}

TEST(MethodCommands, UsersCycleThroughOneToFiveAndSettingsStayInRange) {
  int m = kTacFitSplines;
  nextTacfitMethod(m, false);
  EXPECT_EQ(m, kTacFitNew);
  previousTacfitMethod(m, false);
  EXPECT_EQ(m, kTacFitSplines);
  m = kTacFitNew;
  previousTacfitMethod(m, true);
  EXPECT_EQ(m, kTacFitRef);  // developers reach the reference-curve method

  TacFitSettings s;
  for (int i = 0; i < 6; ++i) moreTacfitSetting(s, kMultiHarmonique);
  EXPECT_EQ(s.CMH_DEG, 4);
  for (int i = 0; i < 6; ++i) fewerTacfitSetting(s, kMultiHarmonique);
  EXPECT_EQ(s.CMH_DEG, 1);
  for (int i = 0; i < 40; ++i) moreTacfitSetting(s, kTacFitNew);
  EXPECT_EQ(s.TACFIT_ITER, 15 + 200);
  for (int i = 0; i < 60; ++i) fewerTacfitSetting(s, kTacFitAlt);
  EXPECT_EQ(s.TACFIT_ITmax, 0);
  EXPECT_FALSE(moreTacfitSetting(s, kTacFitAffine));
  EXPECT_FALSE(fewerTacfitSetting(s, kTacFitSplines));
}

}  // namespace
}  // namespace quorvel
