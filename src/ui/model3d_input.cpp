#include "ui/model3d_input.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <optional>
#include <vector>

#include "model3d/model3d_commands.h"
#include "model3d/regional.h"
#include "render/map_panels.h"
#include "render/view3d.h"
#include "ui/shell.h"

namespace quorvel {

namespace {

constexpr double kPi = 3.14159265;
constexpr int kZoomStep = 10;  // percent per wheel step or Page key
constexpr int kClickSlop = 2;  // pixels a click may wander before it is a drag
constexpr float kPlaneRadiusStep = 2;
// Held-key steps of the preview: contrast and luminosity of the shading, smoothing passes.
constexpr float kShadeStep = 2, kContrastMax = 60, kLuminosityMin = 20, kLuminosityMax = 100;
constexpr int kSmoothingMax = 10;
constexpr int kPreviewSamplings[] = {12, 24, 48};
constexpr int kSliderKeySteps = 20;  // S or X + Page: a twentieth of the slider

// The reference views of CTRL / SHIFT + Tab, as turns of the frame's reset axes: the reset view,
// a quarter, a half and three quarters of a turn about the vertical, from above, from below.
struct PresetView {
  double a, b;
};
constexpr PresetView kPresetViews[] = {{0, 0}, {0, kPi / 2}, {0, kPi}, {0, -kPi / 2}, {kPi / 2, 0}, {-kPi / 2, 0}};
constexpr int kPresets = static_cast<int>(std::size(kPresetViews));

int stage(const Workstation& ws) { return ws.shell._MENU_; }

bool isPreview(View view) { return view == View::Preview3D || view == View::Preview3DSecond; }
int previewPane(View view) { return view == View::Preview3DSecond ? 1 : 0; }

// The view settings a 3D picture is drawn with, in its own stage only.
View3D* view3DOf(Workstation& ws, View view) {
  if (isPreview(view) && stage(ws) == kStagePreview) return &ws.model3d.view3d.views[previewPane(view)];
  if (view == View::Results3D && stage(ws) == kStageResults3D) return &ws.model3d.view3d.views[2];
  return nullptr;
}

bool isPanel(View view) { return view == View::MapPanelLeft || view == View::MapPanelRight; }

// The other preview frame takes the viewing direction and the zoom of frame `from` when the
// options synchronise them.
void synchroniseFrames(Workstation& ws, int from) {
  View3DSettings& s = ws.model3d.view3d;
  const View3D& source = s.views[from];
  View3D& other = s.views[1 - from];
  if (s.visu_coord) {
    other.axis1 = source.axis1, other.axis2 = source.axis2, other.axis3 = source.axis3;
    other.visu_Pvue = source.visu_Pvue;
  }
  if (s.visu_coordz) other.visu_scale = source.visu_scale;
}

// A change of a 3D view's direction or zoom, shown.
void viewMoved(Workstation& ws, View view) {
  if (isPreview(view)) {
    synchroniseFrames(ws, previewPane(view));
    previewPicturesChanged(ws);
  } else {
    ws.platform.pictureChanged(view);
  }
}

// The result panels, the 3D view and the bull's-eyes all show the windows and the palette.
void resultsChanged(Workstation& ws) {
  for (View v : {View::Results3D, View::MapPanelRight, View::MapPanelLeft, View::Bullseye, View::Segmental})
    ws.platform.pictureChanged(v);
}

void zoom(Workstation& ws, View view, View3D& v3, int step) {
  ZOOM_VISU(v3, step);
  viewMoved(ws, view);
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
  View3D* v3 = view3DOf(ws, view);
  if (!v3) return false;
  if (isPreview(view) && !v3->visu_view) {  // a press gives the frame the keys again
    v3->visu_view = 1;
    ws.platform.pictureChanged(view);
  }
  ws.shell.mouse_i = x, ws.shell.mouse_j = y;
  (primary ? ws.shell.turning : ws.shell.zooming) = true;
  ws.shell.pressX = x, ws.shell.pressY = y;
  ws.shell.dragged = false;
  return true;
}

bool model3DDoubleClick(Workstation& ws, View view, int x, int y, MouseButton b) {
  if (isPreview(view)) {
    View3D* v3 = view3DOf(ws, view);
    if (!v3) return false;
    if (b == MouseButton::Primary) {  // the frame stops taking the keys
      v3->visu_view = 0;
      ws.shell.turning = ws.shell.zooming = false;
      ws.platform.pictureChanged(view);
    }
    return true;
  }
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
    sh.dragged = sh.dragged || std::abs(x - sh.pressX) + std::abs(y - sh.pressY) > kClickSlop;
    ROTATE_VISU_AXES(*v3, -(y - sh.mouse_j) * kPi / kVisuSide, (x - sh.mouse_i) * kPi / kVisuSide);
    sh.mouse_i = x, sh.mouse_j = y;
    viewMoved(ws, view);
  } else {
    sh.mouse_i = x, sh.mouse_j = y;
    if (view == View::Results3D && ws.model3d.model3d.mesh_curve) pickResultsPoint(ws, x, y);
  }
  return true;
}

bool model3DRelease(Workstation& ws, View view, MouseButton b) {
  if (!isPanel(view) && !isPreview(view) && view != View::Results3D) return false;
  // A click without a drag picks the point it was pressed on.
  if (view == View::Results3D && b == MouseButton::Primary && ws.shell.turning && !ws.shell.dragged)
    pickResultsPoint(ws, ws.shell.pressX, ws.shell.pressY);
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

namespace {

bool isArrow(Key key) { return key == Key::Up || key == Key::Down || key == Key::Left || key == Key::Right; }
bool isPage(Key key) { return key == Key::PageUp || key == Key::PageDown; }

// The view and its index of each frame that takes the keys: the active preview frames, or the
// results view.
struct Frame {
  View3D& view;
  int index;
};
std::vector<Frame> framesTakingKeys(Workstation& ws) {
  View3DSettings& s = ws.model3d.view3d;
  if (stage(ws) == kStageResults3D) return {Frame{s.views[2], 2}};
  std::vector<Frame> frames;
  for (int pane = 0; pane < kPreviewPanes; ++pane)
    if (s.views[pane].visu_view) frames.push_back(Frame{s.views[pane], pane});
  return frames;
}

// The reset direction and scale of a view.
void referenceView(View3D& v, int index) {
  const View3D reference = View3DSettings{}.views[index];
  v.axis1 = reference.axis1, v.axis2 = reference.axis2, v.axis3 = reference.axis3;
  v.visu_scale = reference.visu_scale;
  v.visu_Pvue = 1;
}

// The next (or previous) reference view; the zoom stays.
void presetView(View3D& v, int index, bool next) {
  const int at = v.visu_Pvue - 1;  // -1 once turned by hand
  const int preset = at < 0 ? (next ? 0 : kPresets - 1) : (at + (next ? 1 : kPresets - 1)) % kPresets;
  const int scale = v.visu_scale;
  referenceView(v, index);
  ROTATE_VISU_AXES(v, kPresetViews[preset].a, kPresetViews[preset].b);
  v.visu_scale = scale;
  v.visu_Pvue = preset + 1;
}

// Keys on the frames taking them (both 3D stages: zoom, axes; the preview: scale bar, reference
// views, display mode, skeleton).
bool frameKey(Workstation& ws, Key key, KeyModifiers m) {
  const InputState& in = ws.input;
  const bool plain = !m.ctrl && !m.shift;
  const bool preview = stage(ws) == kStagePreview;
  const bool adjusting = in.V_KDOWN || in.X_KDOWN || in.S_KDOWN;
  View3DSettings& s = ws.model3d.view3d;
  bool moved = false;  // direction or zoom: the other frame may follow
  std::function<void(Frame&)> change;
  if (isPage(key) && plain && !adjusting) {
    change = [&](Frame& f) { ZOOM_VISU(f.view, key == Key::PageUp ? kZoomStep : -kZoomStep); };
    moved = true;
  } else if (key == Key::A && plain) {
    change = [](Frame& f) { f.view.visu_axes = !f.view.visu_axes; };
  } else if (!preview) {
    return false;
  } else if (key == Key::E && plain) {
    change = [&](Frame& f) { s.visu_echelle[f.index] = !s.visu_echelle[f.index]; };
  } else if (key == Key::Space && plain) {
    change = [](Frame& f) { referenceView(f.view, f.index); };
    moved = true;
  } else if (key == Key::Tab && m.ctrl != m.shift) {
    change = [&](Frame& f) { presetView(f.view, f.index, m.ctrl); };
    moved = true;
  } else if (isPage(key) && m.ctrl && !m.shift) {
    const int step = key == Key::PageUp ? 1 : kPreviewDisplays - 1;
    change = [&s, step](Frame& f) {
      int& type = s.visu_type[f.index];
      type = (std::clamp(type, 0, kPreviewDisplays - 1) + step) % kPreviewDisplays;
    };
  } else if (key == Key::C && m.ctrl && !m.shift) {
    change = [](Frame& f) { f.view.visu_skel = !f.view.visu_skel; };
  } else {
    return false;
  }
  std::vector<Frame> frames = framesTakingKeys(ws);
  for (Frame& f : frames) change(f);
  if (preview) {
    if (moved && frames.size() == 1) synchroniseFrames(ws, frames[0].index);
    previewPicturesChanged(ws);
  } else {
    ws.platform.pictureChanged(View::Results3D);
  }
  return true;
}

// A held letter and arrow up / down: the preview's shading and its mesh's fineness and smoothing.
// The mesh is built again for every instant.
bool previewSettingKey(Workstation& ws, Key key) {
  if (key != Key::Up && key != Key::Down) return false;
  const InputState& in = ws.input;
  const int dir = key == Key::Up ? 1 : -1;
  Options& o = ws.w.options;
  if (in.cHeld) {
    o.visu_CONT3D = std::clamp(o.visu_CONT3D + dir * kShadeStep, 0.0f, kContrastMax);
  } else if (in.lHeld) {
    o.visu_LUM3D = std::clamp(o.visu_LUM3D + dir * kShadeStep, kLuminosityMin, kLuminosityMax);
  } else if (in.W_KDOWN || in.qHeld) {
    if (in.W_KDOWN) {
      const auto* at = std::find(std::begin(kPreviewSamplings), std::end(kPreviewSamplings), o.mesh_samP);
      const int k = at == std::end(kPreviewSamplings) ? 1 : static_cast<int>(at - std::begin(kPreviewSamplings));
      o.mesh_samP = kPreviewSamplings[std::clamp(k + dir, 0, static_cast<int>(std::size(kPreviewSamplings)) - 1)];
      o.mesh_Pdiv = o.mesh_samP;
    } else {
      o.mesh_itpre = std::clamp(o.mesh_itpre + dir, 0, kSmoothingMax);
    }
    PREVISU_3D_REBUILD(ws.modelInputs(), ws.model3d.model3d, ws.model);
  } else {
    return false;
  }
  previewPicturesChanged(ws);
  return true;
}

// Keys of the preview as a whole: its modes, the valve planes and the adjustment of the ventricle
// shown alone.
bool previewKey(Workstation& ws, Key key, KeyModifiers m) {
  const InputState& in = ws.input;
  const bool plain = !m.ctrl && !m.shift;
  View3DSettings& s = ws.model3d.view3d;
  if (key == Key::Z && plain) {
    s.visu_rendu = !s.visu_rendu;
  } else if (key == Key::A && m.ctrl && !m.shift) {
    s.showAtria = !s.showAtria;
  } else if (key == Key::V && m.ctrl && !m.shift) {
    const int on = !(s.visu_plane[0] || s.visu_plane[1]);
    s.visu_plane = {on, on};
  } else if (isPage(key) && m.shift && !m.ctrl) {
    const float step = key == Key::PageUp ? kPlaneRadiusStep : -kPlaneRadiusStep;
    s.planeRadius = std::clamp(s.planeRadius + step, kPlaneRadiusMin, kPlaneRadiusMax);
  } else if (in.V_KDOWN && (isArrow(key) || (isPage(key) && plain))) {
    // Arrows turn the valve plane about its green (up / down) or yellow axis, Page keys move it
    // along its normal.
    const int axis = key == Key::Up || key == Key::Down ? 0 : 1;
    const int direction = key == Key::Up || key == Key::Right || key == Key::PageUp ? 1 : -1;
    ADJUST_VALVES_PLANE(ws.modelInputs(), ws.model3d.model3d, ws.model, previewVentricle(ws), ws.w.study.instant,
                        isPage(key) ? 1 : 0, isPage(key) ? 0 : axis, direction);
  } else if (isPage(key) && plain && (in.S_KDOWN || in.X_KDOWN)) {
    const PreviewSlider which = in.S_KDOWN ? PreviewSlider::CylinderSphere : PreviewSlider::Curvature;
    const int scale = which == PreviewSlider::CylinderSphere ? kCsSliderScale : kCrSliderScale;
    const int step = (key == Key::PageUp ? 1 : -1) * scale / kSliderKeySteps;
    previewSlider(ws, which, previewSliderPosition(ws, which) + step);
    return true;
  } else {
    return previewSettingKey(ws, key);
  }
  previewPicturesChanged(ws);
  return true;
}

}  // namespace

bool model3DKey(Workstation& ws, Key key, KeyModifiers m) {
  if (stage(ws) != kStagePreview && stage(ws) != kStageResults3D) return false;
  if (frameKey(ws, key, m)) return true;
  if (stage(ws) == kStagePreview) return previewKey(ws, key, m);
  const bool plain = !m.ctrl && !m.shift;
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

int previewVentricle(const Workstation& ws) { return ws.model3d.view3d.visu_no == 1 ? 2 : 1; }

void nextPreviewVentricles(Workstation& ws) {
  View3DSettings& s = ws.model3d.view3d;
  auto next = [](int& choice) { choice = (std::clamp(choice, 0, 2) + 1) % 3; };
  if (s.visu_coordv) {
    next(s.visu_no);
    s.secondFrameVentricles = s.visu_no;  // still alike if the synchronisation is turned off
  } else {
    if (s.views[0].visu_view) next(s.visu_no);
    if (s.views[1].visu_view) next(s.secondFrameVentricles);
  }
  previewPicturesChanged(ws);
}

void previewPicturesChanged(Workstation& ws) {
  ws.platform.pictureChanged(View::Preview3D);
  ws.platform.pictureChanged(View::Preview3DSecond);
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
  resultMade(ws, Derived::PickedCurves);
  ws.platform.pictureChanged(View::MapPanelLeft);
  ws.platform.pictureChanged(View::MapPanelRight);
}

void chooseMap(Workstation& ws, int mesh_visu) {
  const EventScope scope(ws);
  ws.model3d.model3d.mesh_visu = std::clamp(mesh_visu, 0, kMapCount - 1);
  refreshPickedCurves(ws);  // the caption and the marker follow the map
  resultsChanged(ws);
}

void chooseVentricles(Workstation& ws, int shown) {
  const EventScope scope(ws);
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
  return stage(ws) == kStagePreview && ws.model3d.view3d.visu_no != 2;
}

void previewSlider(Workstation& ws, PreviewSlider which, int position) {
  const EventScope scope(ws);
  if (!previewSlidersActive(ws)) return;
  const int v = previewVentricle(ws), t = ws.w.study.instant;
  if (which == PreviewSlider::CylinderSphere)
    PREVIEW_SLIDER_CS(ws.modelInputs(), ws.model3d.model3d, ws.model, v, t, std::clamp(position, 0, kCsSliderScale));
  else
    PREVIEW_SLIDER_CR(ws.modelInputs(), ws.model3d.model3d, ws.model, v, t, std::clamp(position, 0, kCrSliderScale));
  previewPicturesChanged(ws);
}

int previewSliderPosition(const Workstation& ws, PreviewSlider which) {
  const int v = previewVentricle(ws), t = ws.w.study.instant;
  const Model3DSettings& set = ws.model3d.model3d;
  const float value = which == PreviewSlider::CylinderSphere ? set.APEX_dismax[v][0] * kCsSliderScale
                                                             : set.Apex_deriv[v][t] * kCrSliderScale;
  return static_cast<int>(value + 0.5f);
}

}  // namespace quorvel
