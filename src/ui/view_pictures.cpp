#include "ui/view_pictures.h"

#include "render/curve_plot.h"
#include "render/png_io.h"
#include "render/render_texts.h"
#include "render/reorientation_view.h"
#include "render/segmental_view.h"
#include "render/segmentation_view.h"
#include "ui/shell.h"

namespace quorvel {

const Bitmap24* drawView(Workstation& ws, View view) {
  Pictures& p = ws.pictures;
  std::optional<ViewPoint> pointer;  // only on the view the position was read on
  if (ws.shell.mouseView == view && ws.shell.mouse_i >= 0 && ws.shell.mouse_j >= 0)
    pointer = ViewPoint{ws.shell.mouse_i, ws.shell.mouse_j};
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
    case View::Preview3DSecond:
      return &drawPreview3D(p, ws.model, ws.model3d, ws.w.options, ws.w.study, ws.w.study.instant,
                            view == View::Preview3DSecond, true);
    case View::Results3D:
      return &drawResults3D(p, ws.model, ws.model3d, ws.w.options, ws.w.study.instant);
    case View::MapPanelLeft:
    case View::MapPanelRight: {
      if (!ws.w.settings.flow.build_visu) return nullptr;
      const int v = view == View::MapPanelLeft ? 0 : 1;
      return &drawMapPanel(p, ws.model, ws.model3d, ws.w.options, ws.w.study, v, ws.shell.pickedCurves[v]);
    }
    case View::Bullseye:
      if (!ws.w.settings.flow.build_visu) return nullptr;
      return &drawBullseye(p, ws.model, ws.model3d, ws.w.options, ws.w.study);
    case View::Segmental:
      if (!ws.w.settings.flow.build_visu) return nullptr;
      p.segmental = segmentalPicture(ws.segmental, ws.w.options.LANGUE);
      return &p.segmental;
    default:
      return nullptr;
  }
}

namespace {

// The derived result a view draws, when it draws one.
std::optional<Derived> resultDrawnBy(View view) {
  switch (view) {
    case View::Curves:
    case View::CurveLeft:
    case View::CurveRight: return Derived::Curves;
    case View::Preview3D:
    case View::Preview3DSecond: return Derived::Preview;
    case View::Results3D:
    case View::MapPanelLeft:
    case View::MapPanelRight:
    case View::Bullseye:
    case View::Segmental: return Derived::Sectors;
    default: return std::nullopt;
  }
}

}  // namespace

std::string writeViewPicture(Workstation& ws, View view, const std::string& path) {
  // A view of another stage than the one shown is brought current here, as its stage would be.
  if (const auto d = resultDrawnBy(view); d && ws.ledger.results[static_cast<size_t>(*d)].made) {
    if (const Status s = bringCurrent(ws, *d); !s) return "the picture would be out of date: " + s.refusal().en;
  }
  const Bitmap24* picture = drawView(ws, view);
  if (!picture) return "this view is not drawn yet";
  return writePng(path, *picture) ? "" : "cannot write " + path;
}

View stageView(const Workstation& ws) {
  switch (ws.shell._MENU_) {
    case kStageSegmentation: return View::Segmentation;
    case kStageResults: return View::Curves;
    case kStagePreview: return View::Preview3D;
    case kStageResults3D: return View::Results3D;
    default: return View::Reorientation;
  }
}

std::string viewCaption(const Workstation& ws, View view) {
  const Study& s = ws.w.study;
  if (!s.loaded()) return {};
  switch (view) {
    case View::Reorientation: return reorientationCaption(ws.w);
    case View::Segmentation:
    case View::Preview3D:
    case View::Preview3DSecond:
    case View::Results3D:
      return format(render_texts::kCaptionInstant.pick(ws.w.options.LANGUE), s.instant + 1, s.Ninst);
    default: return {};
  }
}

std::vector<LegendEntry> segmentationLegend(const Workstation& ws) {
  const int L = ws.w.options.LANGUE;
  const ClassColours& c = ws.pictures.FRON;
  return {{c.colour(kClassLeft), render_texts::kLeftVentricle.pick(L)},
          {c.colour(kClassRight), render_texts::kRightVentricle.pick(L)},
          {c.colour(kClassOther), render_texts::kOtherStructures.pick(L)},
          {c.colour(kClassExcludedConnected), render_texts::kExcluded.pick(L)}};
}

std::string previewSettingsCaption(const Workstation& ws) {
  const Options& o = ws.w.options;
  return format(render_texts::kPreviewSettings.pick(o.LANGUE), static_cast<int>(o.visu_CONT3D + 0.5f),
                static_cast<int>(o.visu_LUM3D + 0.5f), o.mesh_samP, o.mesh_itpre);
}

}  // namespace quorvel
