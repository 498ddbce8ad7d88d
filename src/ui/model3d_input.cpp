#include "ui/model3d_input.h"

#include <algorithm>
#include <optional>

#include "model3d/model3d_commands.h"
#include "model3d/regional.h"
#include "render/map_panels.h"
#include "render/view3d.h"
#include "ui/shell.h"

namespace quorvel {

namespace {

constexpr double kPi = 3.14159265;
constexpr int kZoomStep = 10;  // percent per wheel step or Page key

int stage(const Workstation& ws) { return ws.shell._MENU_; }

// The view settings a 3D picture is drawn with, in its own stage only.
View3D* view3DOf(Workstation& ws, View view) {
  if (view == View::Preview3D && stage(ws) == kStagePreview) return &ws.model3d.view3d.views[0];
  if (view == View::Results3D && stage(ws) == kStageResults3D) return &ws.model3d.view3d.views[2];
  return nullptr;
}

View stage3DView(const Workstation& ws) { return stage(ws) == kStagePreview ? View::Preview3D : View::Results3D; }

bool isPanel(View view) { return view == View::MapPanelLeft || view == View::MapPanelRight; }

// The result panels, the 3D view and the bull's-eyes all show the windows and the palette.
void resultsChanged(Workstation& ws) {
  for (View v : {View::Results3D, View::MapPanelRight, View::MapPanelLeft, View::Bullseye})
    ws.platform.pictureChanged(v);
}

void zoom(Workstation& ws, View view, View3D& v3, int step) {
  ZOOM_VISU(v3, step);
  ws.platform.pictureChanged(view);
}

// One bound of the displayed map of the panel's ventricle set from the panel's pixel x.
void setPanelBound(Workstation& ws, View panel, PanelBound bound, int x) {
  const int v = panel == View::MapPanelLeft ? 0 : 1;
  const int value = panelValueAt(x);
  const int map = ws.model3d.model3d.mesh_visu;
  switch (bound) {
    case PanelBound::WindowMin:
    case PanelBound::WindowMax:
      windowBound(ws.model.maps, map, v, bound == PanelBound::WindowMax) = value;
      UPDATE_MESH_MEANSTD(ws.model.maps, &ws.log);
      break;
    case PanelBound::PaletteMin:
    case PanelBound::PaletteMax:
      paletteBound(ws.model3d.ranges, map, v, bound == PanelBound::PaletteMax) = static_cast<float>(value);
      break;
  }
  resultsChanged(ws);
}

bool resultsShown(const Workstation& ws) {
  return stage(ws) == kStageResults3D && ws.w.settings.flow.build_visu != 0;
}

// The ventricle the preview adjusts: the one shown alone, else the left.
int previewVentricle(const Workstation& ws) { return ws.model3d.view3d.visu_no == 1 ? 2 : 1; }

}  // namespace

bool model3DPress(Workstation& ws, View view, int x, int y, MouseButton b) {
  const bool primary = b == MouseButton::Primary;
  if (isPanel(view)) {
    if (!resultsShown(ws)) return false;
    const std::optional<PanelBound> bound = panelBoundAt(x, y, primary, false);
    ws.shell.panelBound = bound ? static_cast<int>(*bound) : -1;
    if (bound) setPanelBound(ws, view, *bound, x);
    return true;
  }
  if (!view3DOf(ws, view)) return false;
  ws.shell.mouse_i = x, ws.shell.mouse_j = y;
  (primary ? ws.shell.turning : ws.shell.zooming) = true;
  if (primary && view == View::Results3D) pickResultsPoint(ws, x, y);
  return true;
}

bool model3DDoubleClick(Workstation& ws, View view, int x, int y, MouseButton b) {
  if (!isPanel(view) || !resultsShown(ws)) return false;
  if (y < kHistogramTop || y > kHistogramBottom || x < kPanelValueX || x > 227) return true;
  // Double clicks reset the statistics window: the lower bound to 0, the upper to 100.
  const bool upper = b != MouseButton::Primary;
  setPanelBound(ws, view, upper ? PanelBound::WindowMax : PanelBound::WindowMin, upper ? 227 : kPanelValueX);
  return true;
}

bool model3DMove(Workstation& ws, View view, int x, int y) {
  if (isPanel(view)) {
    if (!resultsShown(ws) || ws.shell.panelBound < 0) return resultsShown(ws);
    const auto held = static_cast<PanelBound>(ws.shell.panelBound);
    const bool primary = held == PanelBound::WindowMin || held == PanelBound::PaletteMin;
    if (panelBoundAt(x, y, primary, true) == held) setPanelBound(ws, view, held, x);
    return true;
  }
  View3D* v3 = view3DOf(ws, view);
  if (!v3) return false;
  ShellState& sh = ws.shell;
  if (sh.zooming) {
    // Half a step per pixel up; the rest of an odd move is kept for the next one, so that a slow
    // drag zooms as far as a fast one.
    const int step = (sh.mouse_j - y) / 2;
    if (step != 0) zoom(ws, view, *v3, step);
    sh.mouse_j -= 2 * step;
    sh.mouse_i = x;
  } else if (sh.turning) {
    ROTATE_VISU_AXES(*v3, -(y - sh.mouse_j) * kPi / kVisuSide, (x - sh.mouse_i) * kPi / kVisuSide);
    sh.mouse_i = x, sh.mouse_j = y;
    ws.platform.pictureChanged(view);
  } else {
    sh.mouse_i = x, sh.mouse_j = y;
    if (view == View::Results3D && ws.model3d.model3d.mesh_curve) pickResultsPoint(ws, x, y);
  }
  return true;
}

bool model3DRelease(Workstation& ws, View view, MouseButton) {
  if (!isPanel(view) && view != View::Preview3D && view != View::Results3D) return false;
  ws.shell.turning = ws.shell.zooming = false;
  ws.shell.panelBound = -1;
  return true;
}

bool model3DWheel(Workstation& ws, View view, int steps) {
  View3D* v3 = view3DOf(ws, view);
  if (!v3) return false;
  if (steps != 0) zoom(ws, view, *v3, steps * kZoomStep);
  return true;
}

bool model3DKey(Workstation& ws, Key key, KeyModifiers m) {
  if (stage(ws) != kStagePreview && stage(ws) != kStageResults3D) return false;
  const View view = stage3DView(ws);
  View3D& v3 = *view3DOf(ws, view);
  const InputState& in = ws.input;
  const bool plain = !m.ctrl && !m.shift;
  const bool adjusting = in.V_KDOWN || in.X_KDOWN || in.S_KDOWN;
  if ((key == Key::PageUp || key == Key::PageDown) && plain && !adjusting) {
    zoom(ws, view, v3, key == Key::PageUp ? kZoomStep : -kZoomStep);
    return true;
  }
  if (key == Key::A && plain) {
    v3.visu_axes = !v3.visu_axes;
    ws.platform.pictureChanged(view);
    return true;
  }
  if (stage(ws) == kStageResults3D) {
    if ((key == Key::Up || key == Key::Down) && plain) {
      chooseMap(ws, (ws.model3d.model3d.mesh_visu + (key == Key::Up ? 5 : 1)) % kMapCount);
      return true;
    }
    if (key == Key::W && plain) {  // the point curves follow the pointer, or only presses
      ws.model3d.model3d.mesh_curve = !ws.model3d.model3d.mesh_curve;
      return true;
    }
    return false;
  }
  // The preview: overlays, the reference view, the valve plane turned with V + arrows.
  View3DSettings& s = ws.model3d.view3d;
  if (m.ctrl && key == Key::C) {
    v3.visu_skel = !v3.visu_skel;
  } else if (m.ctrl && key == Key::V) {
    const int on = !(s.visu_plane[0] || s.visu_plane[1]);
    s.visu_plane = {on, on};
  } else if (key == Key::Space && plain) {
    const View3D reference = View3DSettings{}.views[0];
    v3.axis1 = reference.axis1, v3.axis2 = reference.axis2, v3.axis3 = reference.axis3;
    v3.visu_scale = reference.visu_scale;
    v3.visu_Pvue = 1;
  } else if (in.V_KDOWN && (key == Key::Up || key == Key::Down || key == Key::Left || key == Key::Right)) {
    const int axis = key == Key::Up || key == Key::Down ? 0 : 1;
    const int direction = key == Key::Up || key == Key::Right ? 1 : -1;
    ADJUST_VALVES_PLANE(ws.modelInputs(), ws.model3d.model3d, ws.model, previewVentricle(ws), ws.w.study.instant, 0,
                        axis, direction);
  } else {
    return false;
  }
  ws.platform.pictureChanged(view);
  return true;
}

bool pickResultsPoint(Workstation& ws, int x, int y) {
  if (!resultsShown(ws)) return false;
  // Picking reads the buffers of the picture as the user sees it now.
  drawResults3D(ws.pictures, ws.model, ws.model3d, ws.w.options, ws.w.study.instant);
  const std::optional<PickedTriangle> hit = pickTriangle(ws.pictures.visu3D, y, x);
  if (!hit) return false;
  const int k = hit->ventricle - 1;
  RegionalMaps& maps = ws.model.maps;
  if (maps.MC_v[k] == hit->ventricle && maps.MC_ar[k] == hit->triangle) return true;
  maps.MC_v[k] = hit->ventricle;
  maps.MC_ar[k] = hit->triangle;
  refreshPickedCurves(ws);
  return true;
}

void refreshPickedCurves(Workstation& ws) {
  for (int k = 0; k < 2; ++k) {
    TacFitSettings settings = ws.curves.settings;  // the regional iteration count stays local
    ws.shell.pickedCurves[k] =
        EVAL_MESH_CURVE(ws.model, k, ws.model3d.model3d.mesh_visu, ws.modelInputs(),
                        ws.w.settings.curves.TACFIT_switch, settings, ws.curves.fit, ws.developer());
  }
  ws.platform.pictureChanged(View::MapPanelLeft);
  ws.platform.pictureChanged(View::MapPanelRight);
}

void chooseMap(Workstation& ws, int mesh_visu) {
  ws.model3d.model3d.mesh_visu = std::clamp(mesh_visu, 0, kMapCount - 1);
  refreshPickedCurves(ws);  // the caption and the marker follow the map
  resultsChanged(ws);
}

void chooseVentricles(Workstation& ws, int shown) {
  Model3DSettings& set = ws.model3d.model3d;
  set.mesh_double = shown == 0;
  ws.model3d.view3d.views[2].mesh_vent = shown == 2 ? 1 : 0;
  ws.platform.pictureChanged(View::Results3D);
}

int ventriclesShown(const Workstation& ws) {
  if (ws.model3d.model3d.mesh_double) return 0;
  return ws.model3d.view3d.views[2].mesh_vent == 1 ? 2 : 1;
}

bool previewSlidersActive(const Workstation& ws) {
  return stage(ws) == kStagePreview && ws.model3d.view3d.visu_no != 0;
}

void previewSlider(Workstation& ws, PreviewSlider which, int position) {
  if (!previewSlidersActive(ws)) return;
  const int v = previewVentricle(ws), t = ws.w.study.instant;
  if (which == PreviewSlider::CylinderSphere)
    PREVIEW_SLIDER_CS(ws.modelInputs(), ws.model3d.model3d, ws.model, v, t, std::clamp(position, 0, kCsSliderScale));
  else
    PREVIEW_SLIDER_CR(ws.modelInputs(), ws.model3d.model3d, ws.model, v, t, std::clamp(position, 0, kCrSliderScale));
  ws.platform.pictureChanged(View::Preview3D);
}

int previewSliderPosition(const Workstation& ws, PreviewSlider which) {
  const int v = previewVentricle(ws), t = ws.w.study.instant;
  const Model3DSettings& set = ws.model3d.model3d;
  const float value = which == PreviewSlider::CylinderSphere ? set.APEX_dismax[v][0] * kCsSliderScale
                                                             : set.Apex_deriv[v][t] * kCrSliderScale;
  return static_cast<int>(value + 0.5f);
}

}  // namespace quorvel
