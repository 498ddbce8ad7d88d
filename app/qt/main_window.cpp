#include "main_window.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/oflog/oflog.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QColor>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSlider>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTranslator>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "archive_dialog.h"
#include "desktop_texts.h"
#include "export/report.h"
#include "key_map.h"
#include "model3d_panels.h"
#include "node/forwarding.h"
#include "node/results_sr.h"
#include "options_panel.h"
#include "render/curve_plot.h"
#include "review_dialog.h"
#include "study/loading.h"
#include "ui/derived_results.h"
#include "ui/results_json.h"
#include "ui/shell.h"
#include "ui/view_pictures.h"

namespace quorvel {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

constexpr int kSidePanelWidth = 220;  // controls beside a picture
constexpr int kHelpWidth = 430;
constexpr int kReorientationSide = 512;

// The caption's parts one under the other: the side panel is narrower than the line.
QString captionLines(const std::string& caption) {
  static constexpr std::string_view kSeparator = "    -    ";
  std::string lines;
  size_t from = 0;
  for (size_t at; (at = caption.find(kSeparator, from)) != std::string::npos; from = at + kSeparator.size())
    lines.append(caption, from, at - from).append("\n");
  return qs(lines.append(caption, from));
}

// Each colour as a swatch before its name, one per line.
QString legendHtml(const std::vector<LegendEntry>& entries) {
  QString html;
  for (const LegendEntry& e : entries)
    html += QString("<span style=\"background-color:%1\">&nbsp;&nbsp;&nbsp;&nbsp;</span>&nbsp;%2<br>")
                .arg(QColor(e.colour.r, e.colour.g, e.colour.b).name(), qs(e.label).toHtmlEscaped());
  return html;
}

// Pictures drawn by the same build share one widget: both curve plots live in the results panel.
View shownAs(View view) {
  return view == View::CurveLeft || view == View::CurveRight ? View::Curves : view;
}

QLabel* textLabel(QWidget* parent, bool fixedFont = false) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  if (fixedFont) label->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  return label;
}

QPushButton* quietButton(QWidget* parent) {
  auto* b = new QPushButton(parent);
  b->setFocusPolicy(Qt::NoFocus);  // keys belong to the stages, never to a button
  return b;
}

}  // namespace

MainWindow::MainWindow(Workstation& ws, QtPlatform& platform) : ws_(ws), platform_(platform) {
  setWindowTitle(kProductTitle);
  platform_.parentWindow = this;
  platform_.onPicture = [this](View v) { pictureChanged(v); };
  platform_.onText = [this](TextSlot s, const std::string& t) { textChanged(s, t); };
  platform_.onTimer = [this](TimerId id) { tick(id); };
  platform_.onHeartRate = [this](int bpm) {
    heartRateAnswered(ws_, bpm);
    afterEvent();
  };
  buildPanels();
  buildMenus();
  OFLog::configure(OFLogger::WARN_LOG_LEVEL);  // the network library's chatter stays out of the terminal
  qApp->installEventFilter(this);
  refresh();
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  platform_.onPicture = nullptr;
  platform_.onText = nullptr;
  platform_.onTimer = nullptr;
  platform_.onHeartRate = nullptr;
  platform_.parentWindow = nullptr;
}

void MainWindow::buildPanels() {
  auto* central = new QWidget(this);
  auto* outer = new QVBoxLayout(central);
  banner_ = textLabel(central);
  banner_->setStyleSheet("font-weight: bold; padding: 2px;");
  outer->addWidget(banner_);
  auto* row = new QHBoxLayout();
  outer->addLayout(row, 1);
  stack_ = new QStackedWidget(central);
  row->addWidget(stack_, 1);
  // The help floats over the right of the stage rather than widening the window past the screen;
  // any key but H, or a click on it, hides it again.
  help_ = textLabel(central, true);
  help_->setWordWrap(true);
  help_->setFrameStyle(QFrame::Panel | QFrame::Raised);
  help_->setAutoFillBackground(true);
  help_->setMargin(6);
  help_->hide();
  setCentralWidget(central);

  startPanel_ = new QWidget(stack_);
  stack_->addWidget(startPanel_);

  // Re-orientation: the 512 x 512 view, the three step buttons, the threshold slider.
  reorientPanel_ = new QWidget(stack_);
  auto* reorient = new QHBoxLayout(reorientPanel_);
  reorientView_ = new PictureView(View::Reorientation, reorientPanel_);
  reorientView_->onPointer = [this](const Pointer& p) { pointer(View::Reorientation, p); };
  reorient->addWidget(reorientView_, 0, Qt::AlignTop);
  auto* side = new QVBoxLayout();
  for (int step = 0; step < 3; ++step) {
    stepButtons_[step] = quietButton(reorientPanel_);
    stepButtons_[step]->setCheckable(true);
    connect(stepButtons_[step], &QPushButton::clicked, this, [this, step] {
      chooseReorientationStep(ws_, step);
      afterEvent();
    });
    side->addWidget(stepButtons_[step]);
  }
  thresholdLabel_ = textLabel(reorientPanel_);
  side->addWidget(thresholdLabel_);
  threshold_ = new QSlider(Qt::Horizontal, reorientPanel_);
  threshold_->setRange(0, 100);
  threshold_->setFocusPolicy(Qt::NoFocus);
  connect(threshold_, &QSlider::valueChanged, this, [this](int value) {
    if (refreshing_) return;
    setThreshold(ws_, value);
    afterEvent();
  });
  side->addWidget(threshold_);
  reorientCaption_ = textLabel(reorientPanel_);
  side->addWidget(reorientCaption_);
  side->addStretch(1);
  auto* sideBox = new QWidget(reorientPanel_);
  sideBox->setLayout(side);
  sideBox->setFixedWidth(kSidePanelWidth);
  reorient->addWidget(sideBox);
  reorient->addStretch(1);
  addScrolledPage(reorientPanel_);

  // Segmentation: the mosaic, scrolling when it does not fit, and the retouching window.
  segPanel_ = new QWidget(stack_);
  auto* seg = new QHBoxLayout(segPanel_);
  mosaicScroll_ = new QScrollArea(segPanel_);
  mosaicScroll_->setFocusPolicy(Qt::NoFocus);
  mosaicView_ = new PictureView(View::Segmentation, mosaicScroll_);
  mosaicView_->onPointer = [this](const Pointer& p) { pointer(View::Segmentation, p); };
  mosaicScroll_->setWidget(mosaicView_);
  mosaicScroll_->setWidgetResizable(false);
  mosaicScroll_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  seg->addWidget(mosaicScroll_, 1);
  mosaicBar_ = new QScrollBar(Qt::Vertical, segPanel_);
  mosaicBar_->setFocusPolicy(Qt::NoFocus);
  connect(mosaicBar_, &QScrollBar::valueChanged, this, [this](int first) {
    if (refreshing_) return;
    scrollMosaic(ws_, first);
    afterEvent();
  });
  seg->addWidget(mosaicBar_);
  auto* segSide = new QVBoxLayout();
  sliceCounter_ = textLabel(segPanel_);
  segCaption_ = textLabel(segPanel_);
  segLegend_ = new QLabel(segPanel_);
  segLegend_->setTextFormat(Qt::RichText);
  segSide->addWidget(sliceCounter_);
  segSide->addWidget(segCaption_);
  segSide->addWidget(segLegend_);
  retouchView_ = new PictureView(View::Retouching, segPanel_);
  retouchView_->onPointer = [this](const Pointer& p) { pointer(View::Retouching, p); };
  retouchView_->hide();
  segSide->addWidget(retouchView_);
  segSide->addStretch(1);
  auto* segBox = new QWidget(segPanel_);
  segBox->setLayout(segSide);
  segBox->setFixedWidth(kSidePanelWidth + 60);
  seg->addWidget(segBox);
  addScrolledPage(segPanel_);

  // Results: both plots with their axis labels, the cursor read-outs, the results texts.
  resultsPanel_ = new QWidget(stack_);
  auto* results = new QVBoxLayout(resultsPanel_);
  curvesView_ = new PictureView(View::Curves, resultsPanel_);
  curvesView_->onPointer = [this](const Pointer& p) {
    // The panel holds both plots: the pointer goes to the plot under it, in that plot's pixels.
    if (const auto at = curvesPicturePlotAt(p.x, p.y)) {
      Pointer inPlot = p;
      inPlot.x = at->x;
      inPlot.y = at->y;
      pointer(at->plot == 0 ? View::CurveLeft : View::CurveRight, inPlot);
    }
  };
  results->addWidget(curvesView_, 0, Qt::AlignLeft);
  auto* cursors = new QHBoxLayout();
  cursorLeft_ = textLabel(resultsPanel_);
  cursorRight_ = textLabel(resultsPanel_);
  const int half = curvesPicturePoint(PlotPoint{1, 0, 0}).first;
  cursorLeft_->setFixedWidth(half);
  cursorLeft_->setContentsMargins(curvesPicturePoint(PlotPoint{0, 0, 0}).first, 0, 0, 0);
  cursors->addWidget(cursorLeft_);
  cursors->addWidget(cursorRight_, 1);
  results->addLayout(cursors);
  method_ = textLabel(resultsPanel_);
  results->addWidget(method_);
  auto* texts = new QHBoxLayout();
  resultsLeft_ = textLabel(resultsPanel_, true);
  resultsRight_ = textLabel(resultsPanel_, true);
  resultsLeft_->setFixedWidth(half);
  texts->addWidget(resultsLeft_);
  texts->addWidget(resultsRight_, 1);
  results->addLayout(texts);
  results->addStretch(1);
  addScrolledPage(resultsPanel_);

  const PanelHooks hooks{[this](View v, const Pointer& p) { pointer(v, p); }, [this] { afterEvent(); }};
  preview3D_ = new Preview3DPanel(ws_, hooks, stack_);
  addScrolledPage(preview3D_);
  results3D_ = new Results3DPanel(ws_, hooks, stack_);
  addScrolledPage(results3D_);

  notBuilt_ = textLabel(stack_);
  notBuilt_->setAlignment(Qt::AlignCenter);
  stack_->addWidget(notBuilt_);

  // In a scroll area: a panel taller or wider than the window scrolls rather than grows it.
  optionsScroll_ = new QScrollArea(stack_);
  optionsScroll_->setFrameShape(QFrame::NoFrame);
  optionsScroll_->setFocusPolicy(Qt::NoFocus);
  optionsScroll_->setWidgetResizable(true);
  optionsPanel_ = new OptionsPanel(ws_, optionsScroll_);
  optionsPanel_->changed = [this] { afterEvent(); };
  optionsScroll_->setWidget(optionsPanel_);
  stack_->addWidget(optionsScroll_);
}

void MainWindow::buildMenus() {
  menuBar()->clear();
  menuActions_.clear();
  for (const Menu& menu : quorvel::menuBar(ws_)) {
    QMenu* m = menuBar()->addMenu(QString());
    std::vector<QAction*> actions;
    for (const MenuItem& item : menu.items) {
      QAction* a = m->addAction(QString());
      connect(a, &QAction::triggered, this, [this, code = item.code] { command(code); });
      actions.push_back(a);
    }
    if (menuActions_.empty()) {  // the File menu: the archive after the ways to open a file
      constexpr size_t kOpeningItems = 4;
      archiveAction_ = new QAction(this);
      m->insertAction(actions.size() > kOpeningItems ? actions[kOpeningItems] : nullptr, archiveAction_);
      connect(archiveAction_, &QAction::triggered, this, [this] { openFromArchive(); });
      sendAction_ = new QAction(this);
      m->insertAction(actions.size() > kOpeningItems ? actions[kOpeningItems] : nullptr, sendAction_);
      connect(sendAction_, &QAction::triggered, this, [this] { sendResultsToArchive(); });
      reviewAction_ = new QAction(this);
      m->insertAction(actions.size() > kOpeningItems ? actions[kOpeningItems] : nullptr, reviewAction_);
      connect(reviewAction_, &QAction::triggered, this, [this] { openStudyToReview(); });
    }
    menuActions_.push_back(std::move(actions));
  }
  toolBar_ = addToolBar(QString());
  toolBar_->setMovable(false);
  toolBar_->setFocusPolicy(Qt::NoFocus);
  for (const ToolButton& b : toolBar(ws_)) {
    QAction* a = toolBar_->addAction(QString());
    connect(a, &QAction::triggered, this, [this, code = b.code] { command(code); });
    toolActions_.push_back(a);
  }
}

void MainWindow::refresh() {
  refreshing_ = true;
  if (mosaicFollowsWindow_ && ws_.shell._MENU_ == kStageSegmentation && mosaicScroll_->isVisible()) {
    const QSize room = mosaicScroll_->viewport()->size();
    mosaicRoomChanged(ws_, {room.width(), room.height()});
  }
  const int L = ws_.w.options.LANGUE;
  platform_.language = L;
  if (L != qtLanguage_) useQtTranslations(L);
  const std::vector<Menu> menus = quorvel::menuBar(ws_);
  const QList<QAction*> titles = menuBar()->actions();
  for (size_t m = 0; m < menus.size() && m < menuActions_.size(); ++m) {
    titles[static_cast<qsizetype>(m)]->setText(menus[m].title.pick(L));
    for (size_t i = 0; i < menus[m].items.size() && i < menuActions_[m].size(); ++i) {
      const MenuItem& item = menus[m].items[i];
      QAction* a = menuActions_[m][i];
      const std::string label = item.label.pick(L);
      // After a tab, Qt shows the keys in the menu's shortcut column without binding them: the
      // keys reach the workstation as every other key does.
      a->setText(qs(label) + (*item.shortcut ? "\t" + QString(item.shortcut) : QString()));
      a->setVisible(!label.empty());  // items of the French menu only
      a->setEnabled(item.enabled);
      a->setCheckable(item.checkable);
      if (item.checkable) a->setChecked(item.checked);
    }
  }
  if (archiveAction_) archiveAction_->setText(qs(desktop_texts::kOpenFromArchive.pick(L)));
  if (reviewAction_) reviewAction_->setText(qs(desktop_texts::kReviewList.pick(L)));
  if (sendAction_) {
    sendAction_->setText(qs(desktop_texts::kSendToArchive.pick(L)));
    sendAction_->setEnabled(ws_.shell._MENU_ == kStageResults || ws_.shell._MENU_ == kStageResults3D);
  }
  const std::vector<ToolButton> buttons = toolBar(ws_);
  for (size_t i = 0; i < buttons.size() && i < toolActions_.size(); ++i) {
    toolActions_[i]->setText(buttons[i].label.pick(L));
    toolActions_[i]->setEnabled(buttons[i].enabled);
  }

  const std::vector<StepButton> steps = reorientationSteps(ws_);
  for (size_t i = 0; i < steps.size(); ++i) {
    stepButtons_[i]->setText((steps[i].next ? QString("▶ ") : QString()) + qs(steps[i].label.pick(L)));
    QFont font = stepButtons_[i]->font();
    font.setBold(steps[i].next);
    stepButtons_[i]->setFont(font);
    stepButtons_[i]->setEnabled(steps[i].enabled);
    stepButtons_[i]->setChecked(steps[i].current);
  }
  thresholdLabel_->setText(desktop_texts::kThreshold.pick(L));
  threshold_->setValue(ws_.w.study.seuillage);
  notBuilt_->setText(desktop_texts::kViewNotBuilt.pick(L));
  reorientCaption_->setText(captionLines(viewCaption(ws_, View::Reorientation)));
  segCaption_->setText(qs(viewCaption(ws_, View::Segmentation)));
  segLegend_->setText(legendHtml(segmentationLegend(ws_)));
  retouchView_->setVisible(ws_.w.settings.flow.retouche_on != 0);
  mosaicBar_->setRange(0, mosaicScrollMax(ws_));
  mosaicBar_->setPageStep(std::max(ws_.mosaic.NcellH * ws_.mosaic.NcellV, 1));
  mosaicBar_->setSingleStep(std::max(ws_.mosaic.NcellH, 1));
  mosaicBar_->setValue(ws_.w.study.seg_affmin);
  preview3D_->refresh();
  results3D_->refresh();

  QWidget* panel = stagePanel();
  if (panel == optionsScroll_) optionsPanel_->refresh();
  if (QWidget* page = pageOf(panel); stack_->currentWidget() != page) {
    // Only the page shown asks for room: a wide page behind it must not widen the window.
    for (int i = 0; i < stack_->count(); ++i) {
      const QSizePolicy::Policy p = stack_->widget(i) == page ? QSizePolicy::Preferred : QSizePolicy::Ignored;
      stack_->widget(i)->setSizePolicy(p, p);
    }
    stack_->setCurrentWidget(page);
  }
  refreshing_ = false;
}

void MainWindow::useQtTranslations(int LANGUE) {
  // Qt's own dialogs and buttons (file chooser, Cancel, Yes/No) in the interface's language.
  qtLanguage_ = LANGUE;
  if (!qtTranslator_) qtTranslator_ = new QTranslator(this);
  QApplication::removeTranslator(qtTranslator_);
  if (LANGUE == kFrench && qtTranslator_->load("qtbase_fr", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(qtTranslator_);
}

void MainWindow::addScrolledPage(QWidget* panel) {
  auto* area = new QScrollArea(stack_);
  area->setWidgetResizable(true);
  area->setFrameShape(QFrame::NoFrame);
  area->setWidget(panel);
  stack_->addWidget(area);
}

QWidget* MainWindow::pageOf(QWidget* panel) const {
  for (int i = 0; i < stack_->count(); ++i)
    if (stack_->widget(i) == panel || stack_->widget(i)->isAncestorOf(panel)) return stack_->widget(i);
  return panel;
}

QWidget* MainWindow::stagePanel() const {
  switch (ws_.shell._MENU_) {
    case 0: return startPanel_;
    case 1: return reorientPanel_;
    case 2: return segPanel_;
    case 3: return resultsPanel_;
    case 22: return preview3D_;
    case 4: return results3D_;
    case 5: return optionsScroll_;
    default: return notBuilt_;
  }
}

PictureView* MainWindow::pictureView(View view) const {
  switch (shownAs(view)) {
    case View::Reorientation: return reorientView_;
    case View::Segmentation: return mosaicView_;
    case View::Retouching: return retouchView_;
    case View::Curves: return curvesView_;
    case View::Preview3D:
    case View::Preview3DSecond: return preview3D_->view(view);
    case View::Results3D:
    case View::MapPanelRight:
    case View::MapPanelLeft:
    case View::Bullseye:
    case View::Segmental: return results3D_->view(view);
    default: return nullptr;
  }
}

QAction* MainWindow::commandAction(int code) const {
  const std::vector<ToolButton> buttons = toolBar(ws_);
  for (size_t i = 0; i < buttons.size() && i < toolActions_.size(); ++i)
    if (buttons[i].code == code) return toolActions_[i];
  const std::vector<Menu> menus = quorvel::menuBar(ws_);
  for (size_t m = 0; m < menus.size() && m < menuActions_.size(); ++m)
    for (size_t i = 0; i < menus[m].items.size() && i < menuActions_[m].size(); ++i)
      if (menus[m].items[i].code == code) return menuActions_[m][i];
  return nullptr;
}

std::optional<std::pair<PictureView*, QPoint>> MainWindow::widgetPointOf(View view, int x, int y) const {
  PictureView* widget = pictureView(view);
  if (!widget) return std::nullopt;
  if (view == View::CurveLeft || view == View::CurveRight) {
    const auto [px, py] = curvesPicturePoint(PlotPoint{view == View::CurveLeft ? 0 : 1, x, y});
    return std::pair{widget, widget->widgetPoint(px, py)};
  }
  return std::pair{widget, widget->widgetPoint(x, y)};
}

void MainWindow::command(int code) {
  runCommand(ws_, code);
  afterEvent();
}

void MainWindow::tick(TimerId id) {
  if (platform_.busy()) return;  // the wait window's event processing is no time for a frame
  timerTick(ws_, id);
  afterEvent();
}

void MainWindow::pictureChanged(View view) {
  if (!pictureView(view)) return;
  stale_.insert(shownAs(view));
  // The mosaic's redraw draws the open retouching window too (a brush stroke names the mosaic).
  if (view == View::Segmentation && ws_.w.settings.flow.retouche_on) stale_.insert(View::Retouching);
  // The results view's settings (sectors, activity, instant) show in its panels and bull's-eyes too.
  if (view == View::Results3D)
    stale_.insert({View::MapPanelRight, View::MapPanelLeft, View::Bullseye, View::Segmental});
  if (rebuildPosted_) return;
  rebuildPosted_ = true;
  QTimer::singleShot(0, this, [this] { rebuildPictures(); });
}

void MainWindow::rebuildPictures() {
  rebuildPosted_ = false;
  const std::set<View> stale = std::exchange(stale_, {});
  if (!ws_.w.study.loaded()) return;
  for (View view : stale) pictureView(view)->setPicture(drawView(ws_, view));
  reorientCaption_->setText(captionLines(viewCaption(ws_, View::Reorientation)));
  segCaption_->setText(qs(viewCaption(ws_, View::Segmentation)));
  preview3D_->refresh();
  results3D_->refresh();
}

void MainWindow::textChanged(TextSlot slot, const std::string& text) {
  switch (slot) {
    case TextSlot::WindowTitle:
      setWindowTitle(text.empty() ? QString(kProductTitle) : QString("%1  -  %2").arg(QString(kProductTitle), qs(text)));
      return;
    case TextSlot::PatientBanner: banner_->setText(qs(text)); return;
    case TextSlot::SliceCounter: sliceCounter_->setText(qs(text)); return;
    case TextSlot::Caption: return;  // captions are read with the pictures
    case TextSlot::CursorLeft: cursorLeft_->setText(qs(text)); return;
    case TextSlot::CursorRight: cursorRight_->setText(qs(text)); return;
    case TextSlot::ResultsLeft: resultsLeft_->setText(qs(text)); return;
    case TextSlot::ResultsRight: resultsRight_->setText(qs(text)); return;
    case TextSlot::MethodLabel: method_->setText(qs(text)); return;
    case TextSlot::Help:
      help_->setText(qs(text));
      placeHelp();
      help_->setVisible(!text.empty());
      return;
    // Until another replaces it or the stage changes: a placement's warnings must not slip away.
    case TextSlot::Status: statusBar()->showMessage(qs(text)); return;
  }
}

void MainWindow::pointer(View view, const Pointer& p) {
  switch (p.kind) {
    case Pointer::Press: mousePress(ws_, view, p.x, p.y, p.button, p.modifiers); break;
    case Pointer::DoubleClick: mouseDoubleClick(ws_, view, p.x, p.y, p.button, p.modifiers); break;
    case Pointer::Move: mouseMove(ws_, view, p.x, p.y); break;
    case Pointer::Release: mouseRelease(ws_, view, p.x, p.y, p.button); break;
    case Pointer::Wheel: mouseWheel(ws_, view, p.steps, p.modifiers); break;
    case Pointer::Leave: mouseLeave(ws_, view); break;
  }
  afterEvent();
}

void MainWindow::openFromArchive() {
  ArchiveDialog dialog(ws_.w.options.LANGUE, ws_.folder / "archive.ini", ws_.folder / "archive", this);
  if (platform_.run(dialog) == QDialog::Accepted) {
    const std::filesystem::path& file = dialog.acquisition();
    openAcquisitionFile(ws_, file.string(), acquisitionFormatOf(file));
  }
  afterEvent();
}

namespace {

std::string fieldText(const char* bytes, size_t size) { return std::string(bytes, strnlen(bytes, size)); }

// What the structured report copies of the acquisition, from the study's DICOM copies.
node::ImageHeader imageHeaderOf(const StudyRecord& s) {
  node::ImageHeader h;
  h.patientName = s.dicomPatientName;
  h.patientId = s.dicomPatientId;
  h.birthDate = fieldText(s.patbd.data(), s.patbd.size());
  h.sex = fieldText(s.patsex.data(), s.patsex.size());
  h.studyUid = s.studyInstanceUid;
  h.studyDate = fieldText(s.hdate.data(), s.hdate.size());
  h.studyTime = fieldText(s.htime.data(), s.htime.size());
  h.studyId = fieldText(s.studyuid.data(), s.studyuid.size());
  h.seriesUid = fieldText(s.seriesinsuid.data(), s.seriesinsuid.size());
  h.sopClassUid = fieldText(s.sopclauid.data(), s.sopclauid.size());
  h.sopInstanceUid = fieldText(s.sopinsuid.data(), s.sopinsuid.size());
  h.read = true;
  return h;
}

}  // namespace

void MainWindow::sendResultsToArchive() {
  using namespace desktop_texts;
  const int L = ws_.w.options.LANGUE;
  const QSettings kept(qs((ws_.folder / "archive.ini").string()), QSettings::IniFormat);
  const auto to = node::parseDestination(kept.value("archive").toString().toStdString());
  const std::string aet = kept.value("aet", "QUORVEL").toString().toStdString();
  if (!to) return platform_.warning(kArchiveNotSet.pick(L));
  if (ws_.shell._MENU_ != kStageResults && ws_.shell._MENU_ != kStageResults3D)
    return platform_.information(kSendFromResults.pick(L));
  if (const Status s = bringCurrent(ws_, Derived::Curves); !s) {
    ws_.show(s.refusal());
    return afterEvent();
  }
  const std::filesystem::path folder = ws_.folder / "temp" / "archive-send";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  const std::filesystem::path report = folder / "report.dcm", sr = folder / "sr.dcm";
  const ReportInputs in{
      ws_.w,   ws_.seg, ws_.curves.vc,         ws_.curves.settings,      ws_.model, ws_.model3d, ws_.pictures,
      nullptr, nullptr, currentIntervals(ws_), currentSerialSummary(ws_)};
  if (const Status s = writeReport(report, reportTypeOf(report),
                                   composeReport(ReportKind::Global, in, ws_.w.options.RESEXP_1024), ws_.w.study, 1);
      !s) {
    ws_.show(s.refusal());
    return afterEvent();
  }
  node::SrContent content{imageHeaderOf(ws_.w.study), {}, kMethodOnDesktop.pick(L), {}};
  const nlohmann::json results = resultsJson(ws_);  // kept: items() holds a reference into it
  for (const auto& [key, value] : results.items())
    if (value.is_number()) content.results[key] = value.get<double>();
  std::string why = node::writeResultsSr(content, sr);
  if (why.empty()) why = node::sendFiles(node::Caller(aet, archiveTls(kept)), *to, {report, sr});
  if (why.empty())
    platform_.information(format(kSent.pick(L), to->text().c_str()));
  else
    platform_.warning(format(kNotSent.pick(L), to->text().c_str(), why.c_str()));
  afterEvent();
}

void MainWindow::openStudyToReview() {
  ReviewDialog dialog(ws_.w.options.LANGUE, ws_.folder / "archive.ini", this);
  if (platform_.run(dialog) == QDialog::Accepted) openExamFile(ws_, dialog.exam());
  afterEvent();
}

void MainWindow::afterEvent() {
  refresh();
  if (ws_.shell.exitRequested) close();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (mosaicFollowsWindow_ && type == QEvent::Resize && watched == mosaicScroll_->viewport())
    QTimer::singleShot(0, this, [this] { refresh(); });  // after the layout settles

  if (watched == help_ && type == QEvent::MouseButtonPress) {  // the help covers the stage: a click puts it away
    closeHelp(ws_);
    afterEvent();
    return true;
  }
  if (type != QEvent::KeyPress && type != QEvent::KeyRelease) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget->window() != this) return false;
  const auto* k = static_cast<QKeyEvent*>(event);
  // The options panel's number fields take what is typed in them; Enter and the control keys
  // still go to the shell.
  const bool enter = k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter;
  if (optionsPanel_->ownsField(watched) && !enter && !k->modifiers().testFlag(Qt::ControlModifier)) return false;
  const std::optional<Key> key = keyOfQt(k->key());
  if (!key) return false;
  const KeyModifiers m{k->modifiers().testFlag(Qt::ControlModifier), k->modifiers().testFlag(Qt::ShiftModifier)};
  if (type == QEvent::KeyPress) {
    keyDown(ws_, *key, m);  // a held key repeats its press, as the stages expect
  } else {
    if (k->isAutoRepeat()) return true;
    keyUp(ws_, *key, m);
  }
  afterEvent();
  return true;
}

bool MainWindow::restoreLastGeometry() {
  if (geometryFile_.empty()) return false;
  const QSettings kept(QString::fromStdString(geometryFile_.string()), QSettings::IniFormat);
  return restoreGeometry(kept.value("geometry").toByteArray());  // Qt keeps it on a screen
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (ws_.shell.exitRequested || requestExit(ws_)) {
    ws_.shell.exitRequested = true;
    if (!geometryFile_.empty())
      QSettings(QString::fromStdString(geometryFile_.string()), QSettings::IniFormat).setValue("geometry", saveGeometry());
    event->accept();
  } else {
    event->ignore();
  }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  fitReorientationScale();
  placeHelp();
}

// A key released in another window never reaches us: what is held is let go when we lose the
// keyboard.
void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && !isActiveWindow() && releaseHeldKeys(ws_)) afterEvent();
}

void MainWindow::placeHelp() {
  const QRect area = stack_->geometry();
  const int wanted = help_->heightForWidth(kHelpWidth);
  const int height = wanted > 0 ? std::min(wanted, area.height()) : area.height();
  help_->setGeometry(area.right() + 1 - kHelpWidth, area.top(), kHelpWidth, height);
  help_->raise();
}

// The re-orientation view takes the largest whole scale the panel has room for.
void MainWindow::fitReorientationScale() {
  const QSize room = stack_->size() - QSize(kSidePanelWidth + 24, 24);
  reorientView_->setScale(std::max(1, std::min(room.width(), room.height()) / kReorientationSide));
}

}  // namespace quorvel
