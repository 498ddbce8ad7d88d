#include "render/update_bmp.h"

#include "render/curve_plot.h"
#include "render/render_texts.h"
#include "render/reorientation_view.h"

namespace quorvel {

namespace {
enum Stage : int { kStageReorientation = 1, kStageSegmentation = 2, kStageCurves = 3 };
}  // namespace

PictureUpdate UPDATE_BMP(int stage, const PictureSources& in, SegmentationLayout& mosaic, Pictures& pictures,
                         TraceLog& log, const Pointers& pointers) {
  PictureUpdate update;
  const Study& s = in.w.study;
  switch (stage) {
    case kStageReorientation:
      BUILD_BMP_FICH(in.w, pictures.lut, pictures.BMPfich, log);
      update.views.push_back(View::Reorientation);
      update.caption = reorientationCaption(in.w);
      break;
    case kStageSegmentation:
      BUILD_BMP_SEG(s.instant, in.w, in.seg, pictures, mosaic, log, pointers);
      update.views.push_back(View::Segmentation);
      if (in.w.settings.flow.retouche_on) update.views.push_back(View::Retouching);
      update.caption = format(render_texts::kCaptionInstant.pick(in.w.options.LANGUE), s.instant + 1, s.Ninst);
      break;
    case kStageCurves:
      BUILD_BMP_VID(in.vc, s.Ninst, pictures, log);
      update.views.push_back(View::Curves);
      break;
    default:
      break;
  }
  return update;
}

void preparePictures(Pictures& p, const Options& opt, unsigned seed) {
  DEFINE_DEF_PAL(opt.palette, 1, p.lut, p.BMPal);
  LOAD_BORD_COL(seed, p.FRON);
  DEFINE_3D_PAL(opt.palette3D, opt.pal3D, p.table3D);
}

}  // namespace quorvel
