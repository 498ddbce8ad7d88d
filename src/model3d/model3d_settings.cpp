#include "model3d/model3d_settings.h"

namespace quorvel {

void resetModel3DSettings(Model3DStudySettings& s, const Options& opt) {
  s = Model3DStudySettings{};
  s.view3d.visu_type = {opt.DEFAULT_visu_type[0], opt.DEFAULT_visu_type[1]};
  s.view3d.visu_coord = opt.DEFAULT_visu_coord;
  s.view3d.visu_coordz = opt.DEFAULT_visu_coordz;
  s.view3d.visu_coordv = opt.DEFAULT_visu_coordv;
}

}  // namespace quorvel
