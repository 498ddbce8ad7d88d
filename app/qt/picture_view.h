#pragma once
// One of the core's pictures on screen, at an integer scale, with the pointer reported in the
// picture's own pixels. The picture is pulled from the workstation when the view is refreshed.
#include <QImage>
#include <QWidget>
#include <functional>

#include "base/bitmap.h"
#include "base/platform.h"
#include "ui/input_events.h"

namespace quorvel {

struct Pointer {
  enum Kind { Press, DoubleClick, Move, Release, Wheel, Leave } kind = Move;
  int x = 0, y = 0;  // picture pixels
  MouseButton button = MouseButton::Primary;
  KeyModifiers modifiers;
  int steps = 0;  // wheel steps, positive away from the user
};

// The top row first, as the screen shows it (the core's pictures are stored bottom-up).
QImage imageOf(const Bitmap24& picture);

class PictureView : public QWidget {
 public:
  PictureView(View view, QWidget* parent);

  View view() const { return view_; }
  int scale() const { return scale_; }
  void setScale(int scale);
  // Shows a copy of the picture; nothing for no picture.
  void setPicture(const Bitmap24* picture);
  const QImage& image() const { return image_; }
  int paints() const { return paints_; }  // paint events so far, for latency measures
  // The widget point of a picture pixel (its centre), for scripts.
  QPoint widgetPoint(int x, int y) const;

  std::function<void(const Pointer&)> onPointer;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void leaveEvent(QEvent* e) override;

 private:
  void pointer(Pointer::Kind kind, QMouseEvent* e);
  void fitSize();

  View view_;
  int scale_ = 1;
  QImage image_;
  int wheelRest_ = 0;
  int paints_ = 0;
};

}  // namespace quorvel
