#pragma once
// The stage machine of the workstation: the stages and the flags that gate them, the command
// codes of the menus and tool bar, the keys and mouse actions of every stage, the timers, the
// start-up checks and the exit. Front ends deliver events here untouched and show what the
// platform is told; they decide nothing the shell decides.
#include <string>
#include <vector>

#include "base/language.h"
#include "exam/exam_file.h"
#include "exam/options_file.h"
#include "ui/input_events.h"
#include "ui/workstation.h"

namespace quorvel {

enum Stage : int {
  kStageNone = 0,
  kStageReorientation = 1,
  kStageSegmentation = 2,
  kStageResults = 3,
  kStageResults3D = 4,
  kStageOptions = 5,
  kStagePreview = 22,
};

enum CommandCode : int {
  kCmdAbout = 2,
  kCmdOpenAcquisition = 45,
  kCmdOpenExam = 46,
  kCmdSaveExam = 47,
  kCmdSaveExamAs = 48,
  kCmdOptions = 49,
  kCmdUserGuide = 50,
  kCmdSegmentation = 51,
  kCmdResults = 52,
  kCmdPreview = 53,
  kCmd3D = 54,
  kCmdUpdateSegmentation = 55,
  kCmdUpdateSegmental = 56,
  kCmdReorientation = 66,
  kCmdExportResults = 80,
  kCmdComments = 90,
  kCmdExportTable = 149,
  kCmdExportTable17 = 150,
  kCmdSaveTemplate = 167,
  kCmdOpenTemplate = 168,
  kCmdReformatFolder = 171,
  kCmdReformatFolderFdg = 178,
  kCmdExportReprojection = 179,
  kCmdAutoPlacement = 200,  // proposes the re-orientation from the study (a command of our own)
  kCmdFrench = 201,         // the language of every text, switched at once (commands of our own)
  kCmdEnglish = 202,
  kCmdReprojectionMode = 203,  // the reprojection mode on or off, the study open taken back to its opening
  kCmdQuit = 204,              // the File menu's Quit, as CTRL + Q
  kCmdPlacementOnOpen = 205,   // the automatic placement proposed as a study opens, on or off
  kCmdUncertainty = 206,       // the 95 % intervals of the results, measured in the background
  kCmdStopUncertainty = 207,   // stops that measurement
  kCmdCompareExams = 208,      // the results against earlier exams of the patient
};

inline constexpr int kQuorvelVersion = kExamVersion;

// ---- events ------------------------------------------------------------------------------------

// The start-up sequence: developer mode, screen and write checks (either can end the program),
// a fresh study reset, stage 0.
void startUp(Workstation& ws);
// Closing the main window or CTRL + Q: asks before losing a segmentation (outside developer
// mode). True when the window may close.
bool requestExit(Workstation& ws);

// The open command on a file named beforehand (a program argument) instead of the chooser's.
void openAcquisitionFile(Workstation& ws, const std::string& path, int filter);
// The exam-open command on an exam named beforehand (a list of studies to review) instead of the
// chooser's.
void openExamFile(Workstation& ws, const std::filesystem::path& path);
// A menu command or tool button. Commands whose precondition is not met do nothing.
void runCommand(Workstation& ws, int code);
// Key pressed / released (marking and modifier keys act while held).
void keyDown(Workstation& ws, Key key, KeyModifiers m);
void keyUp(Workstation& ws, Key key, KeyModifiers m);
// The front end lost the keyboard (its window is no longer active): every letter held as a
// modifier is released, so that none stays held without its key. True when one was held.
bool releaseHeldKeys(Workstation& ws);
// Pointer on a view, in the view's pixels.
void mousePress(Workstation& ws, View view, int x, int y, MouseButton b, KeyModifiers m);
void mouseDoubleClick(Workstation& ws, View view, int x, int y, MouseButton b, KeyModifiers m);
void mouseMove(Workstation& ws, View view, int x, int y);
void mouseRelease(Workstation& ws, View view, int x, int y, MouseButton b);
// The pointer left a view: keys that act under the pointer no longer act there.
void mouseLeave(Workstation& ws, View view);
// Wheel steps (positive away from the user).
void mouseWheel(Workstation& ws, View view, int steps, KeyModifiers m);
void timerTick(Workstation& ws, TimerId id);
// The heart-rate prompt's OK.
void heartRateAnswered(Workstation& ws, int bpm);
// The threshold slider of the re-orientation stage, in percent.
void setThreshold(Workstation& ws, int seuillage);
// The scroll bar of the segmentation mosaic: the first slice shown, kept so that the cells stay
// filled where the study allows.
void scrollMosaic(Workstation& ws, int seg_affmin);
// The largest first slice the scroll bar offers.
int mosaicScrollMax(const Workstation& ws);
// The room a front end gives the mosaic (its pixels) changed: the grid laid out again with as many
// whole cells as fit, the first slice shown kept within the study.
void mosaicRoomChanged(Workstation& ws, ScreenSize room);
// A step button of the re-orientation stage: shows a step already reached, as Tab does.
void chooseReorientationStep(Workstation& ws, int step);
// LANGUE changed at once: every text the front end holds is given again in that language and the
// pictures that carry texts are redrawn.
void setLanguage(Workstation& ws, int LANGUE);

// The controls of the options panel (stage 5): a number field typed, a box checked (the fit
// method also becomes the study's method at once), the background colour button (the colour
// chooser, then the colour rule and the restart notice). Enter in stage 5 validates the panel.
void optionNumberTyped(Workstation& ws, OptionNumber field, long typed);
bool optionChosen(Workstation& ws, OptionChoice box, int value);
void backgroundColourButton(Workstation& ws);
// "Valider" / "Validate": back to the stage the panel was opened from, with what the changed
// settings need rebuilt, the options saved and every text given again in the chosen language.
void validateOptionsPanel(Workstation& ws);

// ---- what the front end shows -------------------------------------------------------------------

struct ToolButton {
  int code;
  Text label;
  bool enabled;
};
// The eight buttons: re-orientation, segmentation, results, pre-visualisation, 3D, open
// acquisition, open exam, save exam.
std::vector<ToolButton> toolBar(const Workstation& ws);

struct MenuItem {
  int code;
  Text label;  // empty English: the French menu only
  bool enabled;
  bool checkable = false;  // an on/off setting, shown ticked when checked
  bool checked = false;
  const char* shortcut = "";  // the keys that run it in any stage, as the menu shows them
};
struct Menu {
  Text title;
  std::vector<MenuItem> items;
};
std::vector<Menu> menuBar(const Workstation& ws);
// Whether the command is offered now: its tool button, else its menu item, is enabled (commands
// in neither are always offered). Every front end answers "disabled" for one that is not.
bool commandEnabled(const Workstation& ws, int code);

// The three step buttons of the re-orientation stage: enabled once reached, one of them current.
struct StepButton {
  Text label;
  bool enabled;
  bool current;
  bool next = false;  // reached and not yet validated: where the user goes on
};
std::vector<StepButton> reorientationSteps(const Workstation& ws);

// Shows stage s (the caller has checked what gates it); the help is put away and the pointer
// position forgotten.
void changeStage(Workstation& ws, int s);
// The results stage says on the status line why its numbers cannot be trusted, if they cannot and
// the curves are current: on entering it, and when its curves are made again.
void sayImplausibleResults(Workstation& ws);
// The confirmation of the 3D computation, then the computation. False when the user declined or
// cancelled.
bool computeModelAsked(Workstation& ws);

// Whether this version carries out the command (the others answer "not available").
bool commandBuilt(int code);
// The help text of the current stage.
std::string currentHelp(const Workstation& ws);
// Hides the help shown by H (a click on it, as any key but H does).
void closeHelp(Workstation& ws);

}  // namespace quorvel
