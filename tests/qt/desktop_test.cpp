// The desktop offscreen: the window the program shows, driven through its widgets and dialogs on
// the digital phantom, its panels compared pixel for pixel with the core's pictures.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QToolBar>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "desktop_script.h"
#include "dialog_answers.h"
#include "main_window.h"
#include "model3d_panels.h"
#include "phantom/writers.h"
#include "render/curve_plot.h"
#include "render/view3d.h"
#include "render/png_io.h"
#include "scratch_folder.h"
#include "ui/shell.h"
#include "ui/view_pictures.h"

namespace quorvel::testing {
namespace {

void settle() {
  for (int round = 0; round < 3; ++round) QCoreApplication::processEvents();
}

QImage rgb(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }

class Desktop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "test_qt";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
    const auto dir = std::filesystem::path(QUORVEL_TEST_TMP) / "phantom";
    std::filesystem::create_directories(dir);
    phantomFile = phantom::writeAcquisitions(phantom::buildPhantom(phantom::defaultParams(64)), dir, "ph",
                                             {phantom::OutputFormat::DicomExplicit})
                      .at(0);
  }
  void SetUp() override {
    ws = std::make_unique<Workstation>(platform, scratchFolder());
    window = std::make_unique<MainWindow>(*ws, platform);
    platform.answerDialogs = [this](QDialog& d) { answers.answer(d); };
    window->resize(1280, 900);
    startUp(*ws);
    window->refresh();
    window->show();
    settle();
  }
  void TearDown() override { window.reset(); }

  // Through the tool bar's open button and the real open-file dialog.
  void open(const std::filesystem::path& file) {
    answers.files.push_back(FileChoice{file.string(), 1});
    window->commandAction(kCmdOpenAcquisition)->trigger();
    settle();
  }
  void key(Key k, KeyModifiers m = {}) {
    sendKey(*window, k, m, true);
    sendKey(*window, k, m, false);
    settle();
  }
  std::vector<bool> buttons() const {
    std::vector<bool> out;
    for (QAction* a : window->tools()->actions()) out.push_back(a->isEnabled());
    return out;
  }
  QStringList menuTitles() const {
    QStringList out;
    for (QAction* a : window->menuBar()->actions()) out << a->text();
    return out;
  }
  // The panel on screen equals the core's picture of the view, pixel for pixel (read through the
  // bitmap's own accessor, not the window's conversion).
  void expectPanelShowsCore(View view) {
    PictureView* panel = window->pictureView(view);
    ASSERT_TRUE(panel && panel->isVisible());
    const QImage shown = rgb(panel->grab().toImage());
    const Bitmap24* core = drawView(*ws, view);
    ASSERT_TRUE(core);
    ASSERT_EQ(shown.size(), QSize(core->width, core->height));
    int differing = 0;
    for (int y = 0; y < core->height; ++y)
      for (int x = 0; x < core->width; ++x) {
        const Rgb c = core->get(x, y);
        differing += shown.pixel(x, y) != qRgb(c.r, c.g, c.b);
      }
    EXPECT_EQ(differing, 0) << "pixels of view " << static_cast<int>(view) << " differ from the core's picture";
  }

  static std::filesystem::path phantomFile;
  QtPlatform platform;
  std::unique_ptr<Workstation> ws;
  std::unique_ptr<MainWindow> window;
  DialogAnswers answers;
};
std::filesystem::path Desktop::phantomFile;

TEST_F(Desktop, OpensThePhantomAndReachesTheResultsThroughItsWidgets) {
  EXPECT_EQ(buttons(), (std::vector<bool>{false, false, false, false, false, true, true, false}));
  open(phantomFile);
  ASSERT_EQ(ws->shell._MENU_, kStageReorientation);
  EXPECT_TRUE(window->windowTitle().contains(QString::fromStdString(phantomFile.filename().string())));
  EXPECT_EQ(window->stagePanel(), window->pictureView(View::Reorientation)->parentWidget());
  EXPECT_EQ(buttons(), (std::vector<bool>{true, false, false, false, false, true, true, false}));
  expectPanelShowsCore(View::Reorientation);

  // A drag of the square redraws the panel with the moved square.
  const QImage before = rgb(window->pictureView(View::Reorientation)->grab().toImage());
  runDesktopScript(*window, platform, *ws,
                   *[] {
                     std::istringstream script("press reorientation 256 256\nmove reorientation 270 250\n"
                                               "release reorientation 270 250\n");
                     std::string error;
                     return parseScript(script, error);
                   }(),
                   std::cout);
  EXPECT_NE(rgb(window->pictureView(View::Reorientation)->grab().toImage()), before);
  expectPanelShowsCore(View::Reorientation);

  key(Key::Return);
  EXPECT_TRUE(window->stepButtons()[1]->isEnabled());
  EXPECT_FALSE(window->stepButtons()[2]->isEnabled());
  window->stepButtons()[1]->click();  // the valve step, as Tab would show it
  EXPECT_TRUE(window->stepButtons()[1]->isChecked());
  EXPECT_EQ(ws->w.settings.flow.fich_axis, 1);
  key(Key::Return);
  EXPECT_TRUE(window->stepButtons()[2]->isChecked());
  EXPECT_EQ(buttons(), (std::vector<bool>{true, true, false, false, false, true, true, false}));
  key(Key::H);
  EXPECT_TRUE(window->helpPanel()->isVisible());
  EXPECT_EQ(window->helpPanel()->text().toStdString(), currentHelp(*ws));
  key(Key::Return);  // hides the help and validates the short axis: segmentation
  EXPECT_FALSE(window->helpPanel()->isVisible());
  ASSERT_EQ(ws->shell._MENU_, kStageSegmentation);
  EXPECT_EQ(buttons(), (std::vector<bool>{true, true, true, true, false, true, true, true}));
  window->mosaicScrollBar()->setValue(30);  // the slices of the heart, below the first cells
  settle();
  EXPECT_EQ(ws->w.study.seg_affmin, 30);
  expectPanelShowsCore(View::Segmentation);

  window->commandAction(kCmdResults)->trigger();
  settle();
  ASSERT_EQ(ws->shell._MENU_, kStageResults);
  expectPanelShowsCore(View::Curves);
  // The cursor read-out follows the pointer over the left plot.
  const auto [x, y] = curvesPicturePoint(PlotPoint{0, 100, 200});
  PictureView* curves = window->pictureView(View::Curves);
  QMouseEvent move(QEvent::MouseMove, QPointF(x, y), curves->mapToGlobal(QPointF(x, y)), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(curves, &move);
  const std::string expected =
      curveCursorText(100, ws->w.study.Ninst, ws->w.study.CYCLE, ws->curves.vc.vidange_G, ws->w.options.LANGUE);
  EXPECT_TRUE(window->findChildren<QLabel*>().end() !=
              std::find_if(window->findChildren<QLabel*>().begin(), window->findChildren<QLabel*>().end(),
                           [&](QLabel* l) { return l->text().toStdString() == expected; }));
}

TEST_F(Desktop, RefusedFileShowsItsMessageAndLeavesTheWindowAsItWas) {
  open(phantomFile);
  const auto junk = std::filesystem::path(QUORVEL_TEST_TMP) / "junk.dcm";
  std::ofstream(junk) << "not a DICOM file at all";
  const QImage before = window->grab().toImage();
  const QString title = window->windowTitle();
  const size_t shownBefore = platform.shown.size();
  open(junk);
  ASSERT_GT(platform.shown.size(), shownBefore + 1);  // the dialog, then the refusal
  EXPECT_EQ(platform.shown.back().kind, "warning");
  EXPECT_FALSE(platform.shown.back().text.empty());
  EXPECT_EQ(ws->shell._MENU_, kStageReorientation);
  EXPECT_EQ(window->windowTitle(), title);
  EXPECT_TRUE(window->grab().toImage() == before);
}

TEST_F(Desktop, LanguageSwitchRelabelsMenusAndToolBar) {
  EXPECT_EQ(menuTitles(), (QStringList{"Fichier", "Affichage", "Actualiser", "Options", "Aide"}));
  window->commandAction(kCmdEnglish)->trigger();
  settle();
  EXPECT_EQ(menuTitles(), (QStringList{"File", "Display", "Update", "Options", "Help"}));
  EXPECT_EQ(window->commandAction(kCmdOpenAcquisition)->text(), "Open Acquisition");
  EXPECT_FALSE(window->commandAction(kCmdEnglish)->isEnabled());
  window->commandAction(kCmdFrench)->trigger();
  settle();
  EXPECT_EQ(window->commandAction(kCmdOpenAcquisition)->text(), "Ouvrir Acquisition");
}

// The 3D stages on the phantom: the preview and the results panels show the core's pictures; a
// drag on the results view turns it, a click picks a point whose curve the right panel then shows.
TEST_F(Desktop, ThreeDimensionalStagesShowTheCoresPicturesAndAnswerThePointer) {
  open(phantomFile);
  for (Key k : {Key::Return, Key::Tab, Key::Return, Key::Return}) key(k);
  ASSERT_EQ(ws->shell._MENU_, kStageSegmentation);
  window->commandAction(kCmdPreview)->trigger();
  settle();
  ASSERT_EQ(ws->shell._MENU_, kStagePreview);
  EXPECT_EQ(window->stagePanel(), window->preview3DPanel());
  expectPanelShowsCore(View::Preview3D);
  answers.questions.push_back(QuestionAnswer::Ok);
  window->commandAction(kCmd3D)->trigger();
  settle();
  ASSERT_EQ(ws->shell._MENU_, kStageResults3D);
  EXPECT_EQ(window->stagePanel(), window->results3DPanel());
  for (View v : {View::Results3D, View::MapPanelRight, View::MapPanelLeft, View::Bullseye}) expectPanelShowsCore(v);

  auto run = [&](const std::string& text) {
    std::istringstream script(text);
    std::string error;
    runDesktopScript(*window, platform, *ws, *parseScript(script, error), std::cout);
    settle();
  };
  const QImage before = rgb(window->pictureView(View::Results3D)->grab().toImage());
  run("press results3d 20 20\nmove results3d 80 40\nrelease results3d 80 40\n");
  EXPECT_NE(rgb(window->pictureView(View::Results3D)->grab().toImage()), before);
  expectPanelShowsCore(View::Results3D);

  const Visu3DBuffers& buffers = ws->pictures.visu3D;
  const auto on = std::find(buffers.VISUV.begin(), buffers.VISUV.end(), kTagRight) - buffers.VISUV.begin();
  ASSERT_LT(on, kVisuSide * kVisuSide);
  const std::string at = std::to_string(on % kVisuSide) + " " + std::to_string(on / kVisuSide);
  run("press results3d " + at + "\nrelease results3d " + at + "\n");
  EXPECT_EQ(ws->model.maps.MC_v[1], 2);
  EXPECT_EQ(ws->model.maps.MC_ar[1], buffers.VISUAR[on]);
  EXPECT_TRUE(ws->shell.pickedCurves[1].valid);
  expectPanelShowsCore(View::MapPanelRight);
}

// The program itself: quorvel --script with a grab of the whole window at 1280 x 900.
TEST_F(Desktop, ScriptRunsAgainstTheProgramsWindowAndGrabsIt) {
  const auto dir = std::filesystem::path(QUORVEL_TEST_TMP) / "script";
  std::filesystem::create_directories(dir);
  const auto grab = dir / "window.png", script = dir / "road.script";
  std::filesystem::remove(grab);
  std::ofstream(script) << "open " << phantomFile.string() << "\nkey Return\nkey Tab\nkey Return\nkey Return\n"
                        << "expect-stage 2\ngrab " << grab.string() << "\n";
  const std::string command = "QT_QPA_PLATFORM=offscreen QUORVEL_HOME=" + (dir / "home").string() + " " +
                              QUORVEL_DESKTOP + " --script " + script.string() + " > " + (dir / "out.txt").string();
  ASSERT_EQ(std::system(command.c_str()), 0);
  const auto picture = readPng(grab);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->width, 1280);
  EXPECT_EQ(picture->height, 900);
}

}  // namespace
}  // namespace quorvel::testing
