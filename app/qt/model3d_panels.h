#pragma once
// The panels of the two 3D stages. The preview: its two 512 x 512 frames side by side, under them
// the instant caption, the shading and mesh settings and the C/S and Cr sliders of the ventricle
// shown alone. The 3D results: the 512 x 512 view, the map
// chooser and the ventricle buttons, both result panels (right ventricle first) and the
// bull's-eyes. Every control calls the shell; the pictures are the core's.
#include <QWidget>
#include <array>
#include <functional>
#include <utility>

#include "picture_view.h"
#include "ui/model3d_input.h"
#include "ui/workstation.h"

class QComboBox;
class QLabel;
class QRadioButton;
class QSlider;
class QTabWidget;

namespace quorvel {

// What a panel hands back to the window: a pointer event on one of its views, or "an event
// happened" after a control called the shell.
struct PanelHooks {
  std::function<void(View, const Pointer&)> pointer;
  std::function<void()> afterEvent;
};

// What both panels keep: the session, the hooks, and whether the panel is setting its controls
// from the shell (their signals must not go back to it).
class Panel3D : public QWidget {
 protected:
  Panel3D(Workstation& ws, PanelHooks hooks, QWidget* parent) : QWidget(parent), ws_(ws), hooks_(std::move(hooks)) {}
  Workstation& ws_;
  PanelHooks hooks_;
  bool refreshing_ = false;
};

class Preview3DPanel : public Panel3D {
 public:
  Preview3DPanel(Workstation& ws, PanelHooks hooks, QWidget* parent);
  // Preview3D or Preview3DSecond.
  PictureView* view(View v) const { return views_[v == View::Preview3DSecond ? 1 : 0]; }
  QSlider* slider(PreviewSlider which) const { return which == PreviewSlider::CylinderSphere ? cs_ : cr_; }
  // Texts, captions and the sliders' state from the shell.
  void refresh();

 private:
  std::array<PictureView*, kPreviewPanes> views_{};
  QLabel* caption_ = nullptr;
  QLabel* settings_ = nullptr;
  QLabel* csLabel_ = nullptr;
  QLabel* crLabel_ = nullptr;
  QSlider* cs_ = nullptr;
  QSlider* cr_ = nullptr;
};

class Results3DPanel : public Panel3D {
 public:
  Results3DPanel(Workstation& ws, PanelHooks hooks, QWidget* parent);
  // Results3D, MapPanelRight, MapPanelLeft or Bullseye; nothing for another view.
  PictureView* view(View v) const;
  QComboBox* mapChooser() const { return maps_; }
  // The page of the bull's-eyes (Bullseye) or of the segments (Segmental) brought to the front, as
  // its tab does.
  void showPage(View v);
  const std::array<QRadioButton*, 3>& ventricleButtons() const { return ventricles_; }
  void refresh();

 private:
  PictureView* view_ = nullptr;
  PictureView* panelRight_ = nullptr;
  PictureView* panelLeft_ = nullptr;
  PictureView* bullseye_ = nullptr;
  PictureView* segmental_ = nullptr;
  QTabWidget* pages_ = nullptr;  // the bull's-eyes and the segments
  QLabel* caption_ = nullptr;
  QComboBox* maps_ = nullptr;
  std::array<QRadioButton*, 3> ventricles_{};  // both, left, right
};

}  // namespace quorvel
