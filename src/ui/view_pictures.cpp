#include "ui/view_pictures.h"

#include "render/curve_plot.h"
#include "render/reorientation_view.h"
#include "render/segmentation_view.h"

namespace quorvel {

const Bitmap24* drawView(Workstation& ws, View view) {
  Pictures& p = ws.pictures;
  std::optional<ViewPoint> pointer;
  if (ws.shell.mouse_i >= 0 && ws.shell.mouse_j >= 0) pointer = ViewPoint{ws.shell.mouse_i, ws.shell.mouse_j};
  switch (view) {
    case View::Reorientation:
      BUILD_BMP_FICH(ws.w, p.lut, p.BMPfich, ws.log);
      return &p.BMPfich;
    case View::Segmentation:
      BUILD_BMP_SEG(ws.w.study.instant, ws.w, ws.seg, p, ws.mosaic, ws.log, Pointers{pointer, std::nullopt});
      return &ws.mosaic.BMP;
    case View::Retouching:
      buildRetouchingPicture(ws.w, ws.seg, p, pointer);
      return &p.BMPretouche;
    case View::Curves:
      BUILD_BMP_VID(ws.curves.vc, ws.w.study.Ninst, p, ws.log);
      p.curvesPanel = curvesPicture(p, ws.curves.vc, ws.w.options.LANGUE);
      return &p.curvesPanel;
    case View::CurveLeft:
    case View::CurveRight:
      BUILD_BMP_VID(ws.curves.vc, ws.w.study.Ninst, p, ws.log);
      return view == View::CurveRight ? &p.BMPvd : &p.BMPvg;
    case View::Preview3D:
      return &drawPreview3D(p, ws.model, ws.model3d, ws.w.options, ws.w.study.instant, ws.w.study.Ninst);
    case View::Results3D:
      return &drawResults3D(p, ws.model, ws.model3d, ws.w.options, ws.w.study.instant);
    default:
      return nullptr;
  }
}

}  // namespace quorvel
