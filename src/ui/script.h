#pragma once
// The scripted front end: one event per line, the same events a desktop delivers, so the whole
// road can be driven and checked without a window.
//
//   # comment
//   open PATH                      the open-file dialog answered with PATH, then the open command
//   command CODE                   a menu command or tool button
//   key [ctrl+][shift+]NAME        a key pressed and released (NAME as in the help texts)
//   keydown NAME / keyup NAME      a key held / released (C, Space, W, V, X, the marking arrows)
//   press VIEW X Y [left|right] [ctrl] [shift]   a button pressed on a view, in its pixels
//   double VIEW X Y [left|right] [ctrl] [shift]  a double click
//   move VIEW X Y / release VIEW X Y [left|right]
//   wheel VIEW STEPS [shift]
//   scroll FIRST                   the mosaic's scroll bar: the first slice shown
//   threshold PERCENT              the threshold slider of the re-orientation stage
//   answer yes|no|TEXT             queued for the next question; a number answers the heart-rate prompt
//   tick cine|depol|once           a timer tick
//   expect-stage N                 fails the script when the stage differs
//   picture VIEW PATH              the view's picture as PNG (front ends that draw pictures)
//   json PATH                      the results, as the command line writes them
//   open-exam PATH                 the open dialog answered with PATH, then the open-exam command
//   save-exam PATH                 the save dialog answered with PATH, then "save exam as"
//   template PATH                  the dialog answered with PATH and confirmed, then the template command
//   comment TEXT                   the comments editor answered with TEXT, then the comments command
//   option NAME VALUE              a control of the options panel: threshold, sampling, kernel-t,
//                                  kernel-z, kernel-xy, iterations, compression, slope (typed numbers);
//                                  language, format, instants, rebin, short-axis, equilibrium, method,
//                                  weighting, axial, angular, preview, sync-directions, sync-zoom,
//                                  sync-ventricles, sectors, export-format (boxes); colour R,G,B
//   export-table PATH              the save dialog answered with PATH, then the spreadsheet export
//   export-table17 PATH [KEY=VALUE ...]  the patient form answered with the fields named as the
//                                  command line's --patient keys, the save dialog with PATH, then
//                                  the 17-sector export
//   grab PATH                      the whole window as PNG (the desktop only)
//
// Events that run a command (command, open, open-exam, save-exam, template, comment, export-table*)
// go through its tool button or menu item: one not offered now prints "disabled" and does nothing.
//
// VIEW: main (the current stage's picture), reorientation (also long-axis), segmentation,
// retouching, curve-left, curve-right, preview3d, results3d, panel-right, panel-left, bullseye.
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "base/scripted_platform.h"
#include "exam/options_file.h"
#include "ui/input_events.h"
#include "ui/workstation.h"

namespace quorvel {

enum class ScriptEventKind {
  Open, Command, Key, KeyDown, KeyUp, Press, DoubleClick, Move, Release, Wheel, Scroll, Threshold, Answer, Tick, ExpectStage, Picture,
  Json, Grab, OpenExam, SaveExam, Template, Comment, Option, ExportTable, ExportTable17, Compare, Page
};

struct ScriptEvent {
  ScriptEventKind kind = ScriptEventKind::Command;
  int line = 0;
  std::string text;  // path, answer, view name of picture, option name
  std::string value;  // option value
  std::vector<std::string> fields;  // the patient form's texts, in the form's order; compare: the exams
  int number = 0;    // command code, stage, wheel steps
  Key key = Key::Return;
  View view = View::Reorientation;
  bool viewIsMain = false;
  int x = 0, y = 0;
  MouseButton button = MouseButton::Primary;
  KeyModifiers modifiers;
  TimerId timer = TimerId::Cine;
};

// A whole decimal number as a script writes it; nothing for any other text.
std::optional<long> scriptNumber(const std::string& text);
// R,G,B as a script writes a colour, each channel brought into 0..255.
std::optional<Rgb> scriptColour(const std::string& text);
// The options panel's controls by their script names (see "option" above).
std::optional<OptionNumber> optionNumberNamed(const std::string& name);
std::optional<OptionChoice> optionChoiceNamed(const std::string& name);

// Parses a script; on a malformed line, nothing and the reason (with its line number) in error.
std::optional<std::vector<ScriptEvent>> parseScript(std::istream& in, std::string& error);

// What a front end does with the events that leave the shell: pictures and results files.
struct ScriptOutputs {
  std::function<std::string(View view, const std::string& path)> picture;  // empty string: written
  std::function<std::string(const std::string& path)> grab;                 // the whole window
  std::function<std::string(const std::string& page)> page;                 // a page of the 3D results shown
};

// The events that check the workstation or write or choose what it shows (expect-stage, picture,
// grab, json, page): empty when done, else why not.
std::string runOutputEvent(Workstation& ws, const ScriptEvent& e, const ScriptOutputs& outputs);

// Runs the events on a workstation whose platform is the scripted one; prints each event's
// outcome and every message the platform was given. False at the first failed expectation or
// failed output (the rest is not run).
bool runScript(Workstation& ws, ScriptedPlatform& platform, const std::vector<ScriptEvent>& events, std::ostream& out,
               const ScriptOutputs& outputs = {});

}  // namespace quorvel
