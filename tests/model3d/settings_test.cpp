// The 3D settings of a new study.
#include <gtest/gtest.h>

#include "model3d/model3d_settings.h"

namespace quorvel {
namespace {

TEST(Model3DSettings, ResetOfANewStudy) {
  Model3DStudySettings s;
  s.model3d.APEX_dismax[1][5] = 0.3f;
  s.ranges.fej_pmax[1] = 40;
  s.view3d.views[5].visu_scale = 7;
  Options opt;
  opt.DEFAULT_visu_type[1] = 3;
  resetModel3DSettings(s, opt);
  EXPECT_FLOAT_EQ(s.model3d.APEX_dismax[1][5], 0.8f);
  EXPECT_FLOAT_EQ(s.model3d.Apex_deriv[2][15], 1.0f);
  EXPECT_FLOAT_EQ(s.ranges.fej_pmax[1], 100.0f);
  EXPECT_FLOAT_EQ(s.ranges.tpfr_pmin[0], 0.0f);
  EXPECT_EQ(s.view3d.views[0].visu_scale, 100);
  EXPECT_EQ(s.view3d.views[5].visu_scale, 133);
  EXPECT_EQ(s.view3d.views[5].axis1[0], -1.0f);
  EXPECT_EQ(s.view3d.views[1].axis1[0], 1.0f);
  EXPECT_EQ(s.view3d.visu_type[1], 3);
}

}  // namespace
}  // namespace quorvel
