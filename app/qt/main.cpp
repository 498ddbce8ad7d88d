// quorvel: the desktop workstation; quorvel FILE opens an acquisition at once. quorvel --script
// FILE runs a script's events against the window (see the scripted front end) and ends with 0,
// 1 at the first failed expectation, or 2 when the script cannot be read; with --fit-screen the
// script's window is laid out as a user's first start lays it out on that screen.
#include <QApplication>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <cstring>
#include <fstream>
#include <iostream>

#include "base/app_folder.h"
#include "base/large_buffers.h"
#include "desktop_script.h"
#include "dialog_answers.h"
#include "main_window.h"
#include "qt_platform.h"
#include "ui/shell.h"

namespace {

constexpr int kWindowWidth = 1280, kWindowHeight = 900;
constexpr int kExitScriptFailed = 1, kExitScriptUnreadable = 2;

}  // namespace

int main(int argc, char** argv) {
  quorvel::keepFreedVolumesMapped();
  QApplication app(argc, argv);
  QApplication::setApplicationName(quorvel::kProductTitle);
  const char* scriptPath = nullptr;
  const char* acquisition = nullptr;
  bool fitScreen = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--script") == 0 && i + 1 < argc) {
      scriptPath = argv[++i];
    } else if (std::strcmp(argv[i], "--fit-screen") == 0) {
      fitScreen = true;
    } else if (argv[i][0] != '-' && !acquisition) {
      acquisition = argv[i];
    } else {
      std::cerr << "usage: quorvel [ACQUISITION] [--script FILE [--fit-screen]]\n";
      return kExitScriptUnreadable;
    }
  }
  std::optional<std::vector<quorvel::ScriptEvent>> events;
  if (scriptPath) {
    std::ifstream in(scriptPath);
    std::string error = "cannot read the file";
    if (in) events = quorvel::parseScript(in, error);
    if (!events) {
      std::cerr << "quorvel: " << scriptPath << ": " << error << '\n';
      return kExitScriptUnreadable;
    }
  }

  quorvel::QtPlatform platform;
  quorvel::Workstation ws(platform, quorvel::applicationFolder());
  ws.shell.userGuide = QUORVEL_GUIDE;
  quorvel::MainWindow window(ws, platform);
  // A script's run keeps the default size and the screen-sized mosaic, so that its grabs and
  // clicks are the same on every screen, unless it asks to be laid out as a user's run is.
  const bool asUser = !events || fitScreen;
  window.setMosaicFollowsWindow(asUser);
  window.resize(kWindowWidth, kWindowHeight);
  // A script's run has nobody to close a box: the start-up's are acknowledged.
  if (events) platform.answerDialogs = [](QDialog& d) { quorvel::DialogAnswers{}.answer(d); };
  quorvel::startUp(ws);  // the screen and write checks may end the program here
  // A screen smaller than the window's default size: the window fills what the desktop leaves
  // free (its panels scroll), never runs past the screen's edge. Otherwise the window comes back
  // where and as large as it was left.
  if (!events) {
    window.setGeometryFile(ws.folder / "window.ini");
    platform.folderMemory = ws.folder / "window.ini";
    platform.recallLastFolder();
  }
  const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
  const bool small = room.width() < kWindowWidth || room.height() < kWindowHeight;
  if (!events && window.restoreLastGeometry()) {
    window.show();
  } else if (asUser && small) {
    window.setGeometry(room);  // without a window manager, maximising alone does nothing
    window.showMaximized();
  } else {
    window.show();
  }
  if (acquisition) quorvel::openAcquisitionFile(ws, acquisition, quorvel::acquisitionFormatOf(acquisition));
  window.refresh();
  if (!events) return QApplication::exec();
  return quorvel::runDesktopScript(window, platform, ws, *events, std::cout) ? 0 : kExitScriptFailed;
}
