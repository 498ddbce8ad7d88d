#include "picture_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace quorvel {

namespace {

constexpr int kWheelStep = 120;  // angle delta of one notch

KeyModifiers modifiersOf(Qt::KeyboardModifiers m) {
  return KeyModifiers{m.testFlag(Qt::ControlModifier), m.testFlag(Qt::ShiftModifier)};
}

}  // namespace

QImage imageOf(const Bitmap24& picture) {
  if (picture.width <= 0 || picture.height <= 0) return {};
  const QImage stored(picture.pixels.data(), picture.width, picture.height, picture.stride(), QImage::Format_BGR888);
  return stored.mirrored(false, true);  // a deep copy, top row first
}

PictureView::PictureView(View view, QWidget* parent) : QWidget(parent), view_(view) {
  setMouseTracking(true);  // hovering moves the brush ring and the curve cursors
  setAttribute(Qt::WA_OpaquePaintEvent);
  fitSize();
}

void PictureView::setScale(int scale) {
  if (scale < 1 || scale == scale_) return;
  scale_ = scale;
  fitSize();
  update();
}

void PictureView::setPicture(const Bitmap24* picture) {
  image_ = picture ? imageOf(*picture) : QImage();
  fitSize();
  update();
}

void PictureView::fitSize() {
  const QSize size = image_.isNull() ? QSize(0, 0) : image_.size() * scale_;
  if (size != this->size() || minimumSize() != size) setFixedSize(size);
}

QPoint PictureView::widgetPoint(int x, int y) const { return {x * scale_ + scale_ / 2, y * scale_ + scale_ / 2}; }

void PictureView::paintEvent(QPaintEvent*) {
  ++paints_;
  QPainter painter(this);
  if (image_.isNull()) return;
  if (scale_ == 1)
    painter.drawImage(0, 0, image_);
  else
    painter.drawImage(QRect(QPoint(0, 0), image_.size() * scale_), image_);
}

void PictureView::pointer(Pointer::Kind kind, QMouseEvent* e) {
  if (!onPointer || image_.isNull()) return;
  const QPoint at = e->position().toPoint();
  Pointer p;
  p.kind = kind;
  p.x = at.x() / scale_;
  p.y = at.y() / scale_;
  p.button = e->button() == Qt::RightButton ? MouseButton::Secondary : MouseButton::Primary;
  p.modifiers = modifiersOf(e->modifiers());
  onPointer(p);
}

void PictureView::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton || e->button() == Qt::RightButton) pointer(Pointer::Press, e);
}

void PictureView::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton || e->button() == Qt::RightButton) pointer(Pointer::DoubleClick, e);
}

void PictureView::mouseMoveEvent(QMouseEvent* e) { pointer(Pointer::Move, e); }

void PictureView::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton || e->button() == Qt::RightButton) pointer(Pointer::Release, e);
}

void PictureView::leaveEvent(QEvent*) {
  if (!onPointer) return;
  Pointer p;
  p.kind = Pointer::Leave;
  onPointer(p);
}

void PictureView::wheelEvent(QWheelEvent* e) {
  wheelRest_ += e->angleDelta().y();
  const int steps = wheelRest_ / kWheelStep;
  wheelRest_ -= steps * kWheelStep;
  if (steps == 0 || !onPointer) return;
  Pointer p;
  p.kind = Pointer::Wheel;
  p.steps = steps;
  p.modifiers = modifiersOf(e->modifiers());
  onPointer(p);
}

}  // namespace quorvel
