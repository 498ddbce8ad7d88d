// Latency of the desktop, offscreen, on the digital phantom (64 slices): from a key or mouse event
// handed to the window to the repainted panel, timed with the event loop's clock; and start-up to
// an interactive window. Prints the median and the 90th percentile of each case, in ms.
// Targets: 16 ms per event, 1 s for the start-up.
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QCheckBox>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include "desktop_script.h"
#include "key_map.h"
#include "main_window.h"
#include "options_panel.h"
#include "phantom/writers.h"
#include "render/pictures.h"
#include "render/view_geometry.h"
#include "ui/shell.h"

namespace {

using namespace quorvel;
constexpr int kRuns = 60;

constexpr double kNoRepaint = 2000;  // ms: the event changed nothing on screen

void report(const char* name, std::vector<double> ms) {
  const auto unchanged = std::count(ms.begin(), ms.end(), kNoRepaint);
  if (unchanged) std::printf("%-44s %ld of %zu events repainted nothing\n", name, static_cast<long>(unchanged), ms.size());
  std::erase(ms, kNoRepaint);
  if (ms.empty()) return;
  std::sort(ms.begin(), ms.end());
  std::printf("%-44s median %6.2f ms   p90 %6.2f ms   (%zu events)\n", name, ms[ms.size() / 2], ms[ms.size() * 9 / 10],
              ms.size());
}

// Delivers the event, then runs the event loop until the panel has painted again.
double timeToPaint(PictureView* panel, const std::function<void()>& deliver) {
  QElapsedTimer clock;
  const int before = panel->paints();
  clock.start();
  deliver();
  while (panel->paints() == before) {
    if (clock.elapsed() >= kNoRepaint) return kNoRepaint;
    QCoreApplication::processEvents();
  }
  return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

// Paints of a widget that is not a picture view (the options panel).
class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    paints += e->type() == QEvent::Paint;
    return false;
  }
};

double timeToPaint(const PaintCounter& counter, const std::function<void()>& deliver) {
  QElapsedTimer clock;
  const int before = counter.paints;
  clock.start();
  deliver();
  while (counter.paints == before) {
    if (clock.elapsed() >= kNoRepaint) return kNoRepaint;
    QCoreApplication::processEvents();
  }
  return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

void mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
  QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  const auto folder = std::filesystem::temp_directory_path() / "quorvel-latency";
  std::filesystem::create_directories(folder / "temp");
  const auto file = phantom::writeAcquisitions(phantom::buildPhantom(phantom::defaultParams(64)), folder, "ph",
                                               {phantom::OutputFormat::DicomExplicit})
                        .at(0);

  QElapsedTimer startClock;
  startClock.start();
  QApplication app(argc, argv);
  QtPlatform platform;
  Workstation ws(platform, folder);
  MainWindow window(ws, platform);
  window.resize(1280, 900);
  startUp(ws);
  window.refresh();
  window.show();
  QCoreApplication::processEvents();
  std::printf("%-44s %6.1f ms\n", "start-up to interactive window", startClock.nsecsElapsed() / 1e6);

  QElapsedTimer openClock;
  openClock.start();
  openAcquisitionFile(ws, file.string(), 1);
  window.refresh();
  QCoreApplication::processEvents();
  std::printf("%-44s %6.1f ms\n", "study opened and shown (target 200 ms)", openClock.nsecsElapsed() / 1e6);
  PictureView* reorientation = window.pictureView(View::Reorientation);
  const QPoint centre = reorientation->widgetPoint(256, 256);
  std::vector<double> ms;
  mouse(reorientation, QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton);
  for (int i = 0; i < kRuns; ++i)
    ms.push_back(timeToPaint(reorientation, [&] {
      mouse(reorientation, QEvent::MouseMove, centre + QPoint(i % 2 ? 6 : -6, i % 3), Qt::NoButton, Qt::LeftButton);
    }));
  mouse(reorientation, QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton);
  report("square drag (re-orientation, mouse move)", ms);

  ms.clear();
  for (int i = 0; i < kRuns; ++i)
    ms.push_back(timeToPaint(reorientation, [&] {
      sendKey(window, i % 2 ? Key::PageUp : Key::PageDown, {}, true);
      sendKey(window, i % 2 ? Key::PageUp : Key::PageDown, {}, false);
    }));
  report("septum line (re-orientation, Page key)", ms);

  for (Key k : {Key::Return, Key::Tab, Key::Return, Key::Return}) {
    sendKey(window, k, {}, true);
    sendKey(window, k, {}, false);
  }
  QCoreApplication::processEvents();
  if (ws.shell._MENU_ != kStageSegmentation) {
    std::fprintf(stderr, "the phantom did not reach the segmentation stage\n");
    return 1;
  }
  PictureView* mosaic = window.pictureView(View::Segmentation);
  std::printf("mosaic %d x %d pixels, %d slices\n", mosaic->width(), mosaic->height(), ws.w.study.NCZ);
  ms.clear();
  for (int i = 0; i < kRuns; ++i)
    ms.push_back(timeToPaint(mosaic, [&] {
      sendKey(window, i % 2 ? Key::Right : Key::Left, {true, false}, true);
      sendKey(window, i % 2 ? Key::Right : Key::Left, {true, false}, false);
    }));
  report("septum plane (mosaic, CTRL + arrow)", ms);

  // The slices of the heart: the left ventricle lies near the top of the first cell.
  window.mosaicScrollBar()->setValue(30);
  QCoreApplication::processEvents();
  ms.clear();
  const QPoint cell = mosaic->widgetPoint(65, 30);
  for (int i = 0; i < kRuns; ++i)
    ms.push_back(timeToPaint(mosaic, [&] {
      mouse(mosaic, QEvent::MouseMove, cell + QPoint(i % 2 ? 3 : -3, 0), Qt::NoButton, Qt::NoButton);
    }));
  report("pointer over the mosaic (hover)", ms);

  // The brush: Space with the right button opens the retouching window on the slice; strokes there.
  sendKey(window, Key::Space, {}, true);
  mouse(mosaic, QEvent::MouseButtonPress, cell, Qt::RightButton, Qt::RightButton);
  mouse(mosaic, QEvent::MouseButtonRelease, cell, Qt::RightButton, Qt::NoButton);
  sendKey(window, Key::Space, {}, false);
  QCoreApplication::processEvents();
  PictureView* retouch = window.pictureView(View::Retouching);
  if (!retouch->isVisible()) {
    std::fprintf(stderr, "the retouching window did not open\n");
    return 1;
  }
  // The stroke starts on a labelled voxel of the slice shown: a press on the background picks no
  // label and the brush would paint nothing.
  QPoint brush;
  for (int y = 60; y < kRetouchViewSide && brush.isNull(); y += 4)
    for (int x = 8; x < kRetouchViewSide / 2 && brush.isNull(); x += 4) {
      const auto v = retouchVoxelAt(ws.w.settings.flow.retouche_slice, ws.w.study.NCZ, x, y);
      if (v && ws.seg.LPE[Segmentation::index(ws.w.study.NCZ, ws.w.study.instant, v->slice, v->row, v->col)] != 0)
        brush = retouch->widgetPoint(x, y);
    }
  if (brush.isNull()) {
    std::fprintf(stderr, "no labelled voxel in the retouching window\n");
    return 1;
  }
  mouse(retouch, QEvent::MouseButtonPress, brush, Qt::LeftButton, Qt::LeftButton);
  ms.clear();
  for (int i = 0; i < kRuns; ++i)
    ms.push_back(timeToPaint(retouch, [&] {
      // One voxel further at each move, out of the picked region, so that every move paints.
      mouse(retouch, QEvent::MouseMove, brush + QPoint(4 * (i % 30), 4 * (i / 30)), Qt::NoButton, Qt::LeftButton);
    }));
  mouse(retouch, QEvent::MouseButtonRelease, brush, Qt::LeftButton, Qt::NoButton);
  report("brush stroke (retouching window, drag)", ms);

  // The options panel: opened from the segmentation stage, a box clicked, Enter back.
  PaintCounter painted;
  window.optionsPanel()->installEventFilter(&painted);
  std::vector<double> opened, clicked;
  for (int i = 0; i < kRuns; ++i) {
    opened.push_back(timeToPaint(painted, [&] { window.command(kCmdOptions); }));
    clicked.push_back(timeToPaint(painted, [&] { window.optionsPanel()->box(OptionChoice::Sectors, i % 2 ? 17 : 25)->click(); }));
    sendKey(window, Key::Return, {}, true);
    sendKey(window, Key::Return, {}, false);
    QCoreApplication::processEvents();
  }
  report("options panel opened (command 49)", opened);
  report("options panel box clicked", clicked);
  return 0;
}
