// The desktop offscreen: the window the program shows, driven through its widgets and dialogs on
// the digital phantom, its panels compared pixel for pixel with the core's pictures.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTableWidget>
#include <QToolBar>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "archive_dialog.h"
#include "base/byte_reader.h"
#include "curves/volume_results.h"
#include "desktop_script.h"
#include "dialog_answers.h"
#include "exam/exam_texts.h"
#include "export/spreadsheet.h"
#include "loopback_archive.h"
#include "main_window.h"
#include "model3d_panels.h"
#include "options_panel.h"
#include "phantom/writers.h"
#include "render/curve_plot.h"
#include "render/png_io.h"
#include "render/trend_plot.h"
#include "render/view3d.h"
#include "render/view_geometry.h"
#include "review_dialog.h"
#include "scratch_folder.h"
#include "text_dialogs.h"
#include "ui/help_texts.h"
#include "ui/results_json.h"
#include "ui/script.h"
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
    phantom::PhantomParams noRate = phantom::defaultParams(64);
    noRate.record_heart_rate = false;
    noRateFile = phantom::writeAcquisitions(phantom::buildPhantom(noRate), dir, "norate",
                                            {phantom::OutputFormat::DicomExplicit})
                     .at(0);
  }
  void SetUp() override { start(scratchFolder()); }
  // The program started on an application folder, as main() starts it.
  void start(const std::filesystem::path& folder) {
    ws = std::make_unique<Workstation>(platform, folder);
    window = std::make_unique<MainWindow>(*ws, platform);
    platform.answerDialogs = [this](QDialog& d) { answers.answer(d); };
    window->resize(1280, 900);
    startUp(*ws);
    window->refresh();
    window->show();
    settle();
  }
  void TearDown() override { window.reset(); }
  // Ended without the exit command (the options file holds what was saved before), then started
  // again on the same folder.
  void restart() {
    const std::filesystem::path folder = ws->folder;
    window.reset();
    ws.reset();
    start(folder);
  }
  void trigger(int code) {
    QAction* action = window->commandAction(code);
    ASSERT_TRUE(action && action->isEnabled()) << "command " << code;
    action->trigger();
    settle();
  }
  void toResults(const std::filesystem::path& file) {
    open(file);
    key(Key::Return);
    key(Key::Tab);
    key(Key::Return);
    key(Key::Return);
    ASSERT_EQ(ws->shell._MENU_, kStageSegmentation);
    trigger(kCmdResults);
    ASSERT_EQ(ws->shell._MENU_, kStageResults);
  }
  // Every text of the panel on screen.
  QStringList panelTexts() const {
    QStringList out;
    for (const QLabel* l : window->stagePanel()->findChildren<QLabel*>()) out << l->text();
    return out;
  }

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

  static std::filesystem::path phantomFile, noRateFile;
  QtPlatform platform;
  std::unique_ptr<Workstation> ws;
  std::unique_ptr<MainWindow> window;
  DialogAnswers answers;
};
std::filesystem::path Desktop::phantomFile, Desktop::noRateFile;

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

TEST_F(Desktop, OpensAStudyFoundInTheArchive) {
  LoopbackArchive archive(ws->folder / "server", freePort());
  ASSERT_TRUE(archive.start()) << archive.log();
  ASSERT_EQ(archive.store(phantomFile), 0);
  int rows = -1;
  platform.answerDialogs = [&](QDialog& d) {
    auto* dialog = dynamic_cast<ArchiveDialog*>(&d);
    if (!dialog) return answers.answer(d);
    dialog->archiveField()->setText(QString::fromStdString(archive.address()));
    dialog->patientIdField()->setText("QPH0001");
    dialog->fillButton()->click();
    rows = dialog->table()->rowCount();
    dialog->openButton()->click();
    if (dialog->isVisible()) dialog->reject();  // nothing came: the test fails on the stage below
  };
  window->archiveAction()->trigger();
  settle();
  EXPECT_EQ(rows, 1);
  ASSERT_EQ(ws->shell._MENU_, kStageReorientation);
  // The acquisition itself came over, under the application folder.
  const auto retrieved = ws->folder / "archive";
  ASSERT_TRUE(std::filesystem::exists(retrieved));
  std::vector<std::filesystem::path> files;
  for (const auto& f : std::filesystem::recursive_directory_iterator(retrieved))
    if (f.is_regular_file()) files.push_back(f.path());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(window->windowTitle().contains(QString::fromStdString(files[0].filename().string())));
}

TEST_F(Desktop, SendsTheResultsToTheArchiveAsAReportAndAStructuredReport) {
  // Over TLS, as the archive settings ask: the archive takes nothing else.
  const auto pki = ws->folder / "pki";
  for (const auto& [name, issuer] : {std::pair{"authority", ""}, {"orthanc", "authority"}, {"desk", "authority"}})
    ASSERT_EQ(makeCertificate(pki, name, issuer), "");
  LoopbackArchive archive(ws->folder / "server", freePort());
  archive.requireTls(pki, "orthanc", "authority");
  ASSERT_TRUE(archive.start()) << archive.log();
  toResults(phantomFile);
  QSettings kept(QString::fromStdString((ws->folder / "archive.ini").string()), QSettings::IniFormat);
  kept.setValue("archive", QString::fromStdString(archive.address()));
  kept.setValue("tls_key", QString::fromStdString((pki / "desk.key").string()));
  kept.setValue("tls_cert", QString::fromStdString((pki / "desk.crt").string()));
  kept.setValue("tls_trust", QString::fromStdString((pki / "authority.crt").string()));
  kept.sync();
  ASSERT_TRUE(window->sendAction()->isEnabled());
  window->sendAction()->trigger();
  settle();
  ASSERT_FALSE(platform.shown.empty());
  EXPECT_NE(platform.shown.back().text.find(archive.address()), std::string::npos) << platform.shown.back().text;
  EXPECT_EQ(platform.shown.back().kind, "information") << platform.shown.back().text;
  const auto ids = nlohmann::json::parse(run(archive.rest() + "/instances").out);
  ASSERT_EQ(ids.size(), 2u);
  char lvef[32];
  std::snprintf(lvef, sizeof lvef, "[%.2f]", resultsJson(*ws)["G_FES"].get<double>());
  int reports = 0;
  for (const auto& id : ids) {
    const auto copy = ws->folder / (id.get<std::string>() + ".dcm");
    ASSERT_EQ(run(archive.rest() + "/instances/" + id.get<std::string>() + "/file -o " + copy.string()).status, 0);
    const std::string dump = run(std::string(QUORVEL_DCMDUMP) + " " + copy.string()).out;
    if (dump.find("ComprehensiveSRStorage") == std::string::npos) continue;
    ++reports;
    EXPECT_NE(dump.find(lvef), std::string::npos) << lvef;
  }
  EXPECT_EQ(reports, 1);
}

TEST_F(Desktop, OpensTheExamOfAStudyTheNodeListedToReview) {
  toResults(phantomFile);
  const auto out = ws->folder / "node-out";
  std::filesystem::create_directories(out / "P1" / "1.2.3");
  ASSERT_TRUE(ws->saveExam(out / "P1" / "1.2.3" / "4.5.qvx"));
  std::ofstream(out / "to-review.txt") << "P1/1.2.3/4.5\tfaint septum\nP2/1.2.4/9.9\tnot placed\n../../x\tnot ours\n";
  restart();
  int rows = -1;
  QString listedStatus, refusedStatus;
  platform.answerDialogs = [&](QDialog& d) {
    auto* dialog = dynamic_cast<ReviewDialog*>(&d);
    if (!dialog) return answers.answer(d);
    dialog->folderField()->setText(QString::fromStdString(out.string()));
    dialog->fillButton()->click();
    rows = dialog->table()->rowCount();
    listedStatus = dialog->statusLine()->text();
    for (int row : {2, 1}) {  // outside the folder, then without an exam: the dialog stays
      dialog->table()->selectRow(row);
      dialog->openButton()->click();
    }
    refusedStatus = dialog->statusLine()->text();
    dialog->table()->selectRow(0);
    dialog->openButton()->click();
    if (dialog->isVisible()) dialog->reject();
  };
  window->reviewAction()->trigger();
  settle();
  EXPECT_EQ(rows, 3);
  EXPECT_TRUE(listedStatus.startsWith("3 ")) << listedStatus.toStdString();
  EXPECT_TRUE(refusedStatus.contains("9.9.log")) << refusedStatus.toStdString();
  EXPECT_EQ(ws->shell._MENU_, kStageResults);
  EXPECT_TRUE(window->windowTitle().contains("4.5.qvx")) << window->windowTitle().toStdString();
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
  // Qt's own buttons (its dialogs' Cancel) follow the interface's language.
  auto qtCancel = [] { return QCoreApplication::translate("QPlatformTheme", "Cancel"); };
  EXPECT_EQ(menuTitles(), (QStringList{"Fichier", "Affichage", "Actualiser", "Options", "Aide"}));
  EXPECT_EQ(qtCancel(), "Annuler");
  window->commandAction(kCmdEnglish)->trigger();
  settle();
  EXPECT_EQ(menuTitles(), (QStringList{"File", "Display", "Update", "Options", "Help"}));
  EXPECT_EQ(qtCancel(), "Cancel");
  EXPECT_EQ(window->commandAction(kCmdOpenAcquisition)->text(), "Open Acquisition");
  EXPECT_FALSE(window->commandAction(kCmdEnglish)->isEnabled());
  window->commandAction(kCmdFrench)->trigger();
  settle();
  EXPECT_EQ(window->commandAction(kCmdOpenAcquisition)->text(), "Ouvrir Acquisition");
}

// The 3D stages on the phantom: the preview's frames and the results panels show the core's
// pictures; the help floats over the frames; a double click deactivates a preview frame; a drag
// on the results view turns it, a click picks a point whose curve the right panel then shows.
TEST_F(Desktop, ThreeDimensionalStagesShowTheCoresPicturesAndAnswerThePointer) {
  open(phantomFile);
  for (Key k : {Key::Return, Key::Tab, Key::Return, Key::Return}) key(k);
  ASSERT_EQ(ws->shell._MENU_, kStageSegmentation);
  window->commandAction(kCmdPreview)->trigger();
  settle();
  ASSERT_EQ(ws->shell._MENU_, kStagePreview);
  EXPECT_EQ(window->stagePanel(), window->preview3DPanel());
  auto run = [&](const std::string& text) {
    std::istringstream script(text);
    std::string error;
    runDesktopScript(*window, platform, *ws, *parseScript(script, error), std::cout);
    settle();
  };
  // The help floats over the two frames instead of widening the window past the screen.
  const int width = window->width();
  key(Key::H);
  EXPECT_TRUE(window->helpPanel()->isVisible());
  EXPECT_EQ(window->width(), width);
  EXPECT_LE(window->helpPanel()->geometry().right(), window->centralWidget()->width());
  QMouseEvent click(QEvent::MouseButtonPress, QPointF(10, 10), window->helpPanel()->mapToGlobal(QPointF(10, 10)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window->helpPanel(), &click);  // a click on it puts it away
  EXPECT_FALSE(window->helpPanel()->isVisible());
  EXPECT_EQ(ws->shell.Whelp_on, 0);
  // A double click takes the keys from the first frame; edge mode then redraws both.
  run("double preview3d 20 20\nkey Z\n");
  EXPECT_EQ(ws->model3d.view3d.views[0].visu_view, 0);
  EXPECT_EQ(ws->model3d.view3d.visu_rendu, 0);
  for (View v : {View::Preview3D, View::Preview3DSecond}) expectPanelShowsCore(v);
  answers.questions.push_back(QuestionAnswer::Ok);
  window->commandAction(kCmd3D)->trigger();
  settle();
  ASSERT_EQ(ws->shell._MENU_, kStageResults3D);
  EXPECT_EQ(window->stagePanel(), window->results3DPanel());
  for (View v : {View::Results3D, View::MapPanelRight, View::MapPanelLeft, View::Bullseye}) expectPanelShowsCore(v);

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

// The options panel driven through its widgets: digits typed in the fields (through the window's
// key filter), boxes clicked, the colour chooser answered, Enter; then a new start reads them back.
TEST_F(Desktop, OptionsPanelRoundTripThroughItsWidgets) {
  trigger(kCmdOptions);
  ASSERT_EQ(ws->shell._MENU_, kStageOptions);
  OptionsPanel* panel = window->optionsPanel();
  ASSERT_TRUE(window->stagePanel()->isAncestorOf(panel) && panel->isVisible());
  struct Typed {
    OptionNumber field;
    const char* text;
    int kept;
  };
  // "\b" is a Backspace, which the stages would otherwise take as their undo.
  for (const Typed& t : {Typed{OptionNumber::Threshold, "8\b5", 10}, Typed{OptionNumber::Threshold, "95", 90},
                         Typed{OptionNumber::Sampling, "2500", 2000}, Typed{OptionNumber::KernelZ, "0", 1},
                         Typed{OptionNumber::Iterations, "40", 40}}) {
    QLineEdit* field = panel->field(t.field);
    ASSERT_TRUE(field && field->isVisible());
    field->setFocus();
    field->selectAll();
    for (const char* c = t.text; *c; ++c) {
      QKeyEvent press(QEvent::KeyPress, *c == '\b' ? Qt::Key_Backspace : Qt::Key_0 + (*c - '0'), Qt::NoModifier,
                      *c == '\b' ? QString() : QString(QChar(*c)));
      QApplication::sendEvent(field, &press);
    }
    EXPECT_EQ(optionNumber(ws->w.options, t.field), t.kept) << t.text;
    field->clearFocus();
    window->refresh();
    EXPECT_EQ(field->text().toInt(), t.kept) << "the field shows the value kept";
  }
  struct Clicked {
    OptionChoice box;
    int value;
  };
  for (const Clicked& c : {Clicked{OptionChoice::PreviewSampling, 48}, Clicked{OptionChoice::Sectors, 25},
                           Clicked{OptionChoice::Format, 3}, Clicked{OptionChoice::FitMethod, 2},
                           Clicked{OptionChoice::Language, 1}}) {
    panel->box(c.box, c.value)->click();
    settle();
    EXPECT_EQ(optionChoice(ws->w.options, c.box), c.value);
    EXPECT_TRUE(panel->box(c.box, c.value)->isChecked());
  }
  EXPECT_EQ(ws->w.options.mesh_Pdiv, 48);
  EXPECT_FALSE(panel->box(OptionChoice::Sectors, 17)->isChecked());  // exactly the chosen one
  EXPECT_EQ(panel->validateButton()->text(), "Validate");             // the panel speaks English now
  EXPECT_TRUE(panel->box(OptionChoice::Equilibrium, 1)->isVisible());  // English panel only
  answers.colours.push_back(Rgb{0, 0, 0});
  panel->colourButton()->click();
  settle();
  EXPECT_EQ((std::array{ws->w.options.BK_r, ws->w.options.BK_g, ws->w.options.BK_b}),
            (std::array<unsigned char, 3>{10, 10, 10}));
  EXPECT_EQ(platform.shown.back().text, exam_texts::kColourAtRestart.en);
  key(Key::H);
  EXPECT_EQ(window->helpPanel()->text().toStdString(), helpText(kStageOptions, 0, kEnglish));
  key(Key::Return);  // validates: back to the stage the panel was opened from
  EXPECT_EQ(ws->shell._MENU_, kStageNone);
  EXPECT_EQ(window->menuBar()->actions().front()->text(), "File");

  restart();
  EXPECT_EQ(window->menuBar()->actions().front()->text(), "File");
  trigger(kCmdOptions);
  panel = window->optionsPanel();
  EXPECT_EQ(panel->field(OptionNumber::Threshold)->text(), "90");
  EXPECT_EQ(panel->field(OptionNumber::Sampling)->text(), "2000");
  EXPECT_TRUE(panel->box(OptionChoice::Sectors, 25)->isChecked());
  EXPECT_TRUE(panel->box(OptionChoice::FitMethod, 2)->isChecked());
  EXPECT_EQ(ws->w.options.mesh_Pdiv, 48);
  EXPECT_EQ(ws->w.options.BK_r, 10);
}

TEST_F(Desktop, LanguageChosenInTheMenuIsTheNextStartsLanguage) {
  trigger(kCmdEnglish);
  restart();
  EXPECT_EQ(menuTitles(), (QStringList{"File", "Display", "Update", "Options", "Help"}));
  trigger(kCmdFrench);
  restart();
  EXPECT_EQ(menuTitles(), (QStringList{"Fichier", "Affichage", "Actualiser", "Options", "Aide"}));
}

// Save as, comments, reopen, save, the template and the table export, each through its menu item
// and its real dialog.
TEST_F(Desktop, ExamRoundTripThroughTheDialogs) {
  toResults(phantomFile);
  const QStringList results = panelTexts();
  ASSERT_TRUE(results.contains(QString::fromStdString(std::string(ventriclePanelTitle(1, kFrench)) + "\n" +
                                                      ventricleResultsText(ws->curves.vc.G, kFrench))));
  const auto dir = ws->folder;
  answers.texts.push_back("FE vérifiée");
  trigger(kCmdComments);
  EXPECT_EQ(ws->w.settings.flow.comment, "FE vérifiée");
  answers.files.push_back(FileChoice{(dir / "exam").string(), 1});
  trigger(kCmdSaveExamAs);
  ASSERT_TRUE(std::filesystem::exists(dir / "exam.qvx"));
  // The next dialog starts in the folder chosen last and proposes the patient's name and date.
  QString startFolder, proposed;
  platform.answerDialogs = [&](QDialog& d) {
    if (auto* files = qobject_cast<QFileDialog*>(&d))
      startFolder = files->directory().absolutePath(), proposed = QFileInfo(files->selectedFiles().value(0)).fileName();
    answers.answer(d);
  };
  answers.files.push_back(FileChoice{(dir / "table").string(), 1});
  trigger(kCmdExportTable);
  EXPECT_EQ(startFolder.toStdString(), std::filesystem::canonical(dir).string());
  EXPECT_EQ(proposed, "PHANTOM_GATED_15-01-2024");
  const auto table = readWholeFile(dir / "table.xls");
  ASSERT_TRUE(table);
  EXPECT_EQ(std::string(table->begin(), table->end()),
            resultsTable(TableInputs{ws->w.study, ws->curves.vc, ws->model.maps, ws->model.eye}));

  open(phantomFile);  // another study in memory
  ASSERT_EQ(ws->shell._MENU_, kStageReorientation);
  answers.questions.push_back(QuestionAnswer::Ok);  // "Ouvrir un nouvel examen ?"
  answers.files.push_back(FileChoice{(dir / "exam.qvx").string(), 1});
  trigger(kCmdOpenExam);
  ASSERT_EQ(ws->shell._MENU_, kStageResults);
  EXPECT_EQ(panelTexts(), results);
  EXPECT_EQ(ws->w.settings.flow.comment, "FE vérifiée");
  const auto saved = readWholeFile(dir / "exam.qvx");
  auto saveDialogs = [&] {
    return std::count_if(platform.shown.begin(), platform.shown.end(), [](const auto& s) { return s.kind == "save"; });
  };
  const auto dialogs = saveDialogs();
  trigger(kCmdSaveExam);  // the exam's own path: no dialog
  EXPECT_EQ(saveDialogs(), dialogs);
  EXPECT_TRUE(readWholeFile(dir / "exam.qvx") == saved);

  open(phantomFile);
  answers.files.push_back(FileChoice{(dir / "exam.qvx").string(), 1});
  answers.questions.push_back(QuestionAnswer::Ok);  // process according to the template
  trigger(kCmdOpenTemplate);
  EXPECT_EQ(ws->shell._MENU_, kStageSegmentation);
  trigger(kCmdResults);
  EXPECT_EQ(panelTexts(), results);
}

// The patient form of the 17-sector table: its fields filled in the real dialog land in the row.
TEST_F(Desktop, SectorTableTakesThePatientFormsFields) {
  toResults(phantomFile);
  ASSERT_TRUE(ws->buildModel3D());
  ws->w.settings.flow.Previsu_OK = ws->w.settings.flow.build_visu = 1;
  std::vector<std::string> typed(kPatientFieldCount);
  typed[0] = "Dupont", typed[3] = "64";
  answers.forms.push_back(typed);
  answers.files.push_back(FileChoice{(ws->folder / "sectors.xls").string(), 1});
  int formWidth = 0, titleWidth = 0;  // the title is not cut
  platform.answerDialogs = [&](QDialog& d) {
    if (dynamic_cast<FormDialog*>(&d))
      formWidth = d.width(), titleWidth = d.fontMetrics().horizontalAdvance(d.windowTitle());
    answers.answer(d);
  };
  window->command(kCmdExportTable17);
  settle();
  EXPECT_GT(formWidth, titleWidth);
  EXPECT_GT(titleWidth, 0);
  const auto table = readWholeFile(ws->folder / "sectors.xls");
  ASSERT_TRUE(table);
  const std::string text(table->begin(), table->end());
  EXPECT_NE(text.find("\rDupont\t\t\t64\t"), std::string::npos);
  EXPECT_EQ(platform.shown[platform.shown.size() - 2].kind, "form");
}

// The heart-rate prompt leaves the window working; its answer is the rate of the results.
TEST_F(Desktop, HeartRatePromptIsAnsweredLaterAndItsRateIsUsed) {
  open(noRateFile);
  ASSERT_EQ(ws->shell._MENU_, kStageReorientation);
  HeartRatePrompt* prompt = platform.heartRatePrompt();
  ASSERT_TRUE(prompt && prompt->isVisible());
  key(Key::Right);  // the window still takes keys
  EXPECT_EQ(ws->w.study.instant, 1);
  const int reached = ws->w.settings.flow.stade_axis;
  key(Key::Return);  // but Enter waits for the rate
  EXPECT_EQ(ws->w.settings.flow.stade_axis, reached);
  prompt->field()->setText("60");
  prompt->okButton()->click();
  settle();
  EXPECT_EQ(platform.heartRatePrompt(), nullptr);
  EXPECT_EQ(ws->w.study.CARD_FREQ_INT, 60);
  EXPECT_TRUE(window->findChildren<QLabel*>().end() !=
              std::find_if(window->findChildren<QLabel*>().begin(), window->findChildren<QLabel*>().end(),
                           [](QLabel* l) { return l->text().endsWith("Fq : 60 bpm"); }));
  key(Key::Return);
  key(Key::Tab);
  key(Key::Return);
  key(Key::Return);
  trigger(kCmdResults);
  EXPECT_FLOAT_EQ(ws->w.study.CYCLE, 125.0f);  // 60 000 ms / (8 instants x 60 bpm)
  const VentricleResults& G = ws->curves.vc.G;
  EXPECT_NEAR(G.debit, G.VES * 60.0f / 1000.0f, 1e-4f);
}

// The program itself: quorvel --script with a grab of the whole window at 1280 x 900.
TEST_F(Desktop, ScriptRunsAgainstTheProgramsWindowAndGrabsIt) {
  const auto dir = std::filesystem::path(QUORVEL_TEST_TMP) / "script";
  std::filesystem::create_directories(dir);
  const auto grab = dir / "window.png", script = dir / "road.script";
  std::filesystem::remove_all(dir / "home");
  std::filesystem::remove(grab);
  // The script's own dialogs and panel: the comments editor, the save and table dialogs, the
  // options panel's controls (a number typed, a box, the colour chooser).
  std::ofstream(script) << "open " << phantomFile.string() << "\nkey Return\nkey Tab\nkey Return\nkey Return\n"
                        << "expect-stage 2\ngrab " << grab.string() << "\ncomment vu\nsave-exam " << (dir / "road").string()
                        << "\ncommand 52\nexport-table " << (dir / "road").string()
                        << "\ncommand 49\noption threshold 95\noption sectors 25\noption colour 255,255,255\n"
                        << "key Return\nexpect-stage 3\n";
  const std::string command = "QT_QPA_PLATFORM=offscreen QUORVEL_HOME=" + (dir / "home").string() + " " +
                              QUORVEL_DESKTOP + " --script " + script.string() + " > " + (dir / "out.txt").string();
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "road.qvx"));
  EXPECT_TRUE(std::filesystem::exists(dir / "road.xls"));
  Options written;
  ASSERT_EQ(LOAD_OPTIONS(dir / "home", written), 1);
  EXPECT_EQ(written.DEFAULT_seuil, 90);
  EXPECT_EQ(written.SECT_25, 25);
  EXPECT_EQ(written.BK_r + written.BK_g + written.BK_b, 600);
  const auto picture = readPng(grab);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->width, 1280);
  EXPECT_EQ(picture->height, 900);
}

TEST_F(Desktop, ScriptOutcomesAreTheScriptedFrontEnds) {
  const std::string text = "command 52\nopen " + phantomFile.string() +
                           "\ncommand 52\nkey Return\nkey Tab\nkey Return\nkey Return\ncommand 54\ncommand 52\n";
  std::istringstream in(text);
  std::string error;
  const auto events = parseScript(in, error);
  ASSERT_TRUE(events) << error;
  std::ostringstream desktop, scripted;
  EXPECT_TRUE(runDesktopScript(*window, platform, *ws, *events, desktop));
  ScriptedPlatform p;
  Workstation other(p, scratchFolder() / "scripted");
  EXPECT_TRUE(runScript(other, p, *events, scripted));
  EXPECT_EQ(desktop.str(), scripted.str());
  EXPECT_NE(desktop.str().find("line 1: disabled"), std::string::npos);
  EXPECT_EQ(ws->shell._MENU_, kStageResults);
}

// The program lays the mosaic out for the room its window gives it: whole cells, no horizontal
// scroll bar, laid out again when the window is resized.
TEST_F(Desktop, MosaicIsLaidOutForTheWindowsRoom) {
  window->setMosaicFollowsWindow(true);
  open(phantomFile);
  for (Key k : {Key::Return, Key::Tab, Key::Return, Key::Return}) key(k);
  ASSERT_EQ(ws->shell._MENU_, kStageSegmentation);
  const SliceLimits& lim = ws->w.settings.limits;
  const int middle = (std::min(lim.limG_inf[0], lim.limD_inf[0]) + std::max(lim.limG_sup[0], lim.limD_sup[0])) / 2;
  for (const QSize size : {QSize(1366, 700), QSize(1000, 650), QSize(1280, 900)}) {
    window->resize(size);
    settle();
    // The ventricles' middle slice stays among the cells shown.
    const int shown = ws->mosaic.NcellH * ws->mosaic.NcellV;
    EXPECT_TRUE(middle >= ws->w.study.seg_affmin && middle < ws->w.study.seg_affmin + shown)
        << size.width() << ": " << ws->w.study.seg_affmin << " + " << shown << ", middle " << middle;
    const QSize room = window->mosaicArea()->viewport()->size();
    EXPECT_EQ(ws->mosaic.seg_Xmax, std::max(1, room.width() / kCellWidth)) << size.width();
    EXPECT_EQ(ws->mosaic.seg_Ymax, std::max(1, room.height() / kCellHeight)) << size.width();
    EXPECT_LE(ws->mosaic.htayaff, room.width()) << size.width();
    EXPECT_LE(ws->mosaic.vtayaff, room.height()) << size.width();
    EXPECT_FALSE(window->mosaicArea()->horizontalScrollBar()->isVisible()) << size.width();
    EXPECT_LE(ws->w.study.seg_affmin, mosaicScrollMax(*ws));
  }
}

// The window comes back at the size it was closed with.
TEST_F(Desktop, WindowComesBackAsItWasLeft) {
  const auto file = ws->folder / "window.ini";
  window->setGeometryFile(file);
  EXPECT_FALSE(window->restoreLastGeometry());  // nothing kept yet
  window->resize(700, 600);
  settle();
  window->close();  // nothing to lose: no question
  settle();
  ASSERT_TRUE(std::filesystem::exists(file));
  restart();
  window->setGeometryFile(file);
  ASSERT_TRUE(window->restoreLastGeometry());
  settle();
  EXPECT_EQ(window->size(), QSize(700, 600));
}

TEST_F(Desktop, KeysUnderThePointerStopWhenItLeavesTheMosaic) {
  toResults(phantomFile);
  trigger(kCmdSegmentation);
  PictureView* mosaic = window->pictureView(View::Segmentation);
  ASSERT_TRUE(mosaic && mosaic->isVisible());
  // A voxel of the left ventricle on a slice shown.
  const Study& s = ws->w.study;
  std::optional<SliceVoxel> lv;
  for (int z = 0; z < s.NCZ && !lv; ++z)
    for (int r = 0; r < kMatrix && !lv; ++r)
      for (int c = 0; c < kMatrix && !lv; ++c)
        if (ws->seg.CORR[ws->seg.LPE[Segmentation::index(s.NCZ, s.instant, z, r, c)]] == kClassLeft)
          lv = SliceVoxel{z, r, c};
  ASSERT_TRUE(lv);
  window->mosaicScrollBar()->setValue(std::min(lv->slice, mosaicScrollMax(*ws)));
  settle();
  const auto [x, y] = mosaicPixelOf(ws->mosaic, s.seg_affmin, *lv, false);
  const QPointF at(mosaic->widgetPoint(x + 1, y + 1));
  QMouseEvent move(QEvent::MouseMove, at, mosaic->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(mosaic, &move);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(mosaic, &leave);
  settle();
  const auto classes = ws->seg.CORR;
  key(Key::Up);
  EXPECT_EQ(ws->seg.CORR, classes);
  QApplication::sendEvent(mosaic, &move);  // back over the ventricle: the key acts there
  settle();
  key(Key::Up);
  EXPECT_NE(ws->seg.CORR, classes);
}

// A text with a plot (the comparison of three exams): both shown, and a script's answers close it.
TEST_F(Desktop, InformationWithAPictureShowsBothAndIsClosedByTheAnswers) {
  const std::vector<TrendPoint> points{{"20240115", {60, 49}, {58, 47}, {62, 51}},
                                       {"20241010", {45, 48}, {42, 45}, {47, 51}}};
  const Bitmap24 plot = trendPicture(points, 50, kEnglish);
  QSize shownPlot;
  QString shownText;
  platform.answerDialogs = [&](QDialog& d) {
    for (const QLabel* l : d.findChildren<QLabel*>()) {
      if (l->pixmap().isNull())
        shownText += l->text();
      else
        shownPlot = l->pixmap().size();
    }
    answers.answer(d);
  };
  platform.informationWithPicture("1 -> 2: LVEF -15.0 points", plot);
  EXPECT_EQ(shownPlot, QSize(plot.width, plot.height));
  EXPECT_EQ(shownText, "1 -> 2: LVEF -15.0 points");
  EXPECT_EQ(platform.shown.back().text, "1 -> 2: LVEF -15.0 points");
}

}  // namespace
}  // namespace quorvel::testing
