#include "model3d_panels.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>

#include "desktop_texts.h"
#include "model3d/model3d_commands.h"
#include "model3d/model3d_texts.h"
#include "render/render_texts.h"
#include "ui/view_pictures.h"

namespace quorvel {

namespace {

constexpr int kSideWidth = 220;

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QLabel* plainLabel(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  return label;
}

PictureView* pictureViewFor(View v, const PanelHooks& hooks, QWidget* parent) {
  auto* view = new PictureView(v, parent);
  view->onPointer = [pointer = hooks.pointer, v](const Pointer& p) { pointer(v, p); };
  return view;
}

QSlider* quietSlider(int maximum, QWidget* parent) {
  auto* s = new QSlider(Qt::Horizontal, parent);
  s->setRange(0, maximum);
  s->setFocusPolicy(Qt::NoFocus);  // keys belong to the stages
  return s;
}

}  // namespace

Preview3DPanel::Preview3DPanel(Workstation& ws, PanelHooks hooks, QWidget* parent)
    : Panel3D(ws, std::move(hooks), parent) {
  auto* column = new QVBoxLayout(this);
  auto* frames = new QHBoxLayout();
  for (int pane = 0; pane < kPreviewPanes; ++pane) {
    views_[pane] = pictureViewFor(pane ? View::Preview3DSecond : View::Preview3D, hooks_, this);
    frames->addWidget(views_[pane], 0, Qt::AlignTop);
  }
  frames->addStretch(1);
  column->addLayout(frames);
  auto* below = new QHBoxLayout();
  auto* texts = new QVBoxLayout();
  caption_ = plainLabel(this);
  settings_ = plainLabel(this);
  texts->addWidget(caption_);
  texts->addWidget(settings_);
  texts->addStretch(1);
  below->addLayout(texts, 1);
  csLabel_ = plainLabel(this);
  cs_ = quietSlider(kCsSliderScale, this);
  crLabel_ = plainLabel(this);
  cr_ = quietSlider(kCrSliderScale, this);
  for (const PreviewSlider which : {PreviewSlider::CylinderSphere, PreviewSlider::Curvature}) {
    const bool cs = which == PreviewSlider::CylinderSphere;
    auto* box = new QVBoxLayout();
    box->addWidget(cs ? csLabel_ : crLabel_);
    box->addWidget(slider(which));
    box->addStretch(1);
    auto* holder = new QWidget(this);
    holder->setLayout(box);
    holder->setFixedWidth(kSideWidth);
    below->addWidget(holder, 0, Qt::AlignTop);
    connect(slider(which), &QSlider::valueChanged, this, [this, which](int position) {
      if (refreshing_) return;
      previewSlider(ws_, which, position);
      hooks_.afterEvent();
    });
  }
  below->addStretch(1);
  column->addLayout(below);
  column->addStretch(1);
}

void Preview3DPanel::refresh() {
  refreshing_ = true;
  const int L = ws_.w.options.LANGUE;
  caption_->setText(qs(viewCaption(ws_, View::Preview3D)));
  settings_->setText(qs(previewSettingsCaption(ws_)));
  csLabel_->setText(qs(desktop_texts::kSliderCs.pick(L)));
  crLabel_->setText(qs(desktop_texts::kSliderCr.pick(L)));
  const bool active = previewSlidersActive(ws_);
  for (const PreviewSlider which : {PreviewSlider::CylinderSphere, PreviewSlider::Curvature}) {
    slider(which)->setEnabled(active);
    slider(which)->setValue(previewSliderPosition(ws_, which));
  }
  refreshing_ = false;
}

Results3DPanel::Results3DPanel(Workstation& ws, PanelHooks hooks, QWidget* parent)
    : Panel3D(ws, std::move(hooks), parent) {
  auto* grid = new QGridLayout(this);
  auto* left = new QVBoxLayout();
  view_ = pictureViewFor(View::Results3D, hooks_, this);
  left->addWidget(view_);
  caption_ = plainLabel(this);
  left->addWidget(caption_);
  maps_ = new QComboBox(this);
  maps_->setFocusPolicy(Qt::NoFocus);
  for (int k = 0; k < kMapCount; ++k) maps_->addItem(QString());
  connect(maps_, &QComboBox::currentIndexChanged, this, [this](int k) {
    if (refreshing_ || k < 0) return;
    chooseMap(ws_, k);
    hooks_.afterEvent();
  });
  left->addWidget(maps_);
  auto* ventricleRow = new QHBoxLayout();
  auto* group = new QButtonGroup(this);
  for (int shown = 0; shown < 3; ++shown) {
    ventricles_[shown] = new QRadioButton(this);
    ventricles_[shown]->setFocusPolicy(Qt::NoFocus);
    group->addButton(ventricles_[shown], shown);
    ventricleRow->addWidget(ventricles_[shown]);
  }
  connect(group, &QButtonGroup::idClicked, this, [this](int shown) {
    chooseVentricles(ws_, shown);
    hooks_.afterEvent();
  });
  left->addLayout(ventricleRow);
  left->addStretch(1);
  grid->addLayout(left, 0, 0, 2, 1, Qt::AlignTop);

  panelRight_ = pictureViewFor(View::MapPanelRight, hooks_, this);
  panelLeft_ = pictureViewFor(View::MapPanelLeft, hooks_, this);
  bullseye_ = pictureViewFor(View::Bullseye, hooks_, this);
  segmental_ = pictureViewFor(View::Segmental, hooks_, this);
  // The segments and phase share the bull's-eyes' place, one page each: the stage fits 1366 x 768.
  pages_ = new QTabWidget(this);
  pages_->setFocusPolicy(Qt::NoFocus);
  pages_->setTabPosition(QTabWidget::East);  // beside the pictures: no height taken from them
  pages_->addTab(bullseye_, QString());
  pages_->addTab(segmental_, QString());
  auto* panels = new QHBoxLayout();
  panels->addWidget(panelRight_, 0, Qt::AlignTop);
  panels->addWidget(panelLeft_, 0, Qt::AlignTop);
  panels->addStretch(1);
  grid->addLayout(panels, 0, 1, Qt::AlignTop | Qt::AlignLeft);
  grid->addWidget(pages_, 1, 1, Qt::AlignTop | Qt::AlignLeft);
  grid->setColumnStretch(2, 1);
  grid->setRowStretch(2, 1);
}

void Results3DPanel::showPage(View v) { pages_->setCurrentIndex(v == View::Segmental ? 1 : 0); }

PictureView* Results3DPanel::view(View v) const {
  switch (v) {
    case View::Results3D: return view_;
    case View::MapPanelRight: return panelRight_;
    case View::MapPanelLeft: return panelLeft_;
    case View::Bullseye: return bullseye_;
    case View::Segmental: return segmental_;
    default: return nullptr;
  }
}

void Results3DPanel::refresh() {
  refreshing_ = true;
  const int L = ws_.w.options.LANGUE;
  caption_->setText(qs(viewCaption(ws_, View::Results3D)));
  for (int k = 0; k < kMapCount; ++k) maps_->setItemText(k, qs(model3d_texts::kMapTitles[k].pick(L)));
  maps_->setCurrentIndex(ws_.model3d.model3d.mesh_visu);
  const Text names[3] = {desktop_texts::kBothVentricles, render_texts::kLeftVentricle, render_texts::kRightVentricle};
  for (int shown = 0; shown < 3; ++shown) ventricles_[shown]->setText(qs(names[shown].pick(L)));
  ventricles_[ventriclesShown(ws_)]->setChecked(true);
  pages_->setTabText(0, qs(desktop_texts::kBullseyePage.pick(L)));
  pages_->setTabText(1, qs(desktop_texts::kSegmentalPage.pick(L)));
  refreshing_ = false;
}

}  // namespace quorvel
