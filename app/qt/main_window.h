#pragma once
// The workstation's main window: the menu bar and tool bar the shell describes, the patient
// banner, one panel per stage showing the core's pictures, the help panel. Keys and pointer go to
// the shell untouched; after each event the window shows what the shell's state says.
#include <QMainWindow>
#include <array>
#include <filesystem>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "picture_view.h"
#include "qt_platform.h"
#include "ui/workstation.h"

class QAction;
class QLabel;
class QPushButton;
class QScrollArea;
class QScrollBar;
class QSlider;
class QStackedWidget;
class QToolBar;

class QTranslator;

namespace quorvel {

class Preview3DPanel;
class Results3DPanel;
class OptionsPanel;

class MainWindow : public QMainWindow {
 public:
  MainWindow(Workstation& ws, QtPlatform& platform);
  ~MainWindow() override;

  // Menus, tool bar, stage panel, step buttons and slider as the shell's state says.
  void refresh();

  // The widgets scripts and tests address.
  PictureView* pictureView(View view) const;  // the curve plots share the results panel's view
  QAction* commandAction(int code) const;     // the tool bar's button, else the menu item
  QToolBar* tools() const { return toolBar_; }
  QWidget* stagePanel() const;
  // The mosaic laid out for the room the window gives it, again on every resize (the program
  // itself; off by default so that a script's clicks land on the cells the scripted front end has).
  void setMosaicFollowsWindow(bool on) { mosaicFollowsWindow_ = on; }
  // Where the window's size and position are kept between starts (written when it closes).
  void setGeometryFile(const std::filesystem::path& file) { geometryFile_ = file; }
  // The size and position the window was closed with; false when none was kept.
  bool restoreLastGeometry();
  QLabel* helpPanel() const { return help_; }
  OptionsPanel* optionsPanel() const { return optionsPanel_; }
  const std::array<QPushButton*, 3>& stepButtons() const { return stepButtons_; }
  QSlider* thresholdSlider() const { return threshold_; }
  Preview3DPanel* preview3DPanel() const { return preview3D_; }
  Results3DPanel* results3DPanel() const { return results3D_; }
  QScrollBar* mosaicScrollBar() const { return mosaicBar_; }
  QScrollArea* mosaicArea() const { return mosaicScroll_; }
  // Where a pixel of a view's picture lies on screen: its widget and the point in it.
  std::optional<std::pair<PictureView*, QPoint>> widgetPointOf(View view, int x, int y) const;

  // Events that reach the shell without a widget of their own: commands outside the menus, timers.
  void command(int code);
  // "Open from archive...": the dialog, then the chosen study opened as a file would be.
  void openFromArchive();
  QAction* archiveAction() const { return archiveAction_; }
  // "Send results to archive": the global report and a structured report of the results as they
  // are now, to the archive chosen in the dialog above.
  void sendResultsToArchive();
  QAction* sendAction() const { return sendAction_; }
  // "Studies to review...": the node's list, the chosen study's exam opened.
  void openStudyToReview();
  QAction* reviewAction() const { return reviewAction_; }
  void tick(TimerId id);
  // Rebuilds now the pictures announced since the last rebuild (otherwise done once the event is over).
  void rebuildPictures();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  // The help over the right edge of the stage area.
  void placeHelp();

 private:
  void buildPanels();
  // A stage's panel put in the stack inside a scroll area: a panel larger than the window (a
  // small screen) scrolls rather than grows the window past the screen.
  void addScrolledPage(QWidget* panel);
  void useQtTranslations(int LANGUE);
  // The stack's page holding panel (its scroll area, or panel itself).
  QWidget* pageOf(QWidget* panel) const;
  void buildMenus();
  void pictureChanged(View view);
  void textChanged(TextSlot slot, const std::string& text);
  void pointer(View view, const Pointer& p);
  void afterEvent();
  QAction* archiveAction_ = nullptr;
  QAction* sendAction_ = nullptr;
  QAction* reviewAction_ = nullptr;
  void fitReorientationScale();

  Workstation& ws_;
  QtPlatform& platform_;
  std::set<View> stale_;
  bool rebuildPosted_ = false;
  bool refreshing_ = false;

  std::vector<std::vector<QAction*>> menuActions_;
  std::vector<QAction*> toolActions_;
  QToolBar* toolBar_ = nullptr;
  QLabel* banner_ = nullptr;
  QLabel* help_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  QWidget* startPanel_ = nullptr;
  QWidget* reorientPanel_ = nullptr;
  QWidget* segPanel_ = nullptr;
  QWidget* resultsPanel_ = nullptr;
  bool mosaicFollowsWindow_ = false;
  std::filesystem::path geometryFile_;
  QLabel* notBuilt_ = nullptr;
  QScrollArea* optionsScroll_ = nullptr;
  OptionsPanel* optionsPanel_ = nullptr;

  PictureView* reorientView_ = nullptr;
  std::array<QPushButton*, 3> stepButtons_{};
  QSlider* threshold_ = nullptr;
  QLabel* thresholdLabel_ = nullptr;
  QLabel* reorientCaption_ = nullptr;

  QScrollArea* mosaicScroll_ = nullptr;
  PictureView* mosaicView_ = nullptr;
  QScrollBar* mosaicBar_ = nullptr;  // the first slice of the mosaic
  PictureView* retouchView_ = nullptr;
  QLabel* sliceCounter_ = nullptr;
  QLabel* segCaption_ = nullptr;
  QLabel* segLegend_ = nullptr;  // which colour is which class
  QTranslator* qtTranslator_ = nullptr;
  int qtLanguage_ = -1;  // the language Qt's own texts speak

  PictureView* curvesView_ = nullptr;
  QLabel* cursorLeft_ = nullptr;
  QLabel* cursorRight_ = nullptr;
  QLabel* resultsLeft_ = nullptr;
  QLabel* resultsRight_ = nullptr;
  QLabel* method_ = nullptr;

  Preview3DPanel* preview3D_ = nullptr;
  Results3DPanel* results3D_ = nullptr;
};

}  // namespace quorvel
