#include "ui/script.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>

#include "base/byte_reader.h"
#include "export/spreadsheet.h"
#include "study/loading.h"
#include "study/study_record.h"
#include "ui/results_json.h"
#include "ui/shell.h"
#include "ui/view_pictures.h"

namespace quorvel {

namespace {

std::optional<View> viewFromName(const std::string& name, bool& main) {
  main = name == "main";
  if (main) return View::Reorientation;
  if (name == "reorientation" || name == "long-axis") return View::Reorientation;
  if (name == "segmentation") return View::Segmentation;
  if (name == "retouching") return View::Retouching;
  if (name == "curve-left") return View::CurveLeft;
  if (name == "curve-right") return View::CurveRight;
  if (name == "preview3d") return View::Preview3D;
  if (name == "preview3d2") return View::Preview3DSecond;
  if (name == "results3d") return View::Results3D;
  if (name == "panel-right") return View::MapPanelRight;
  if (name == "panel-left") return View::MapPanelLeft;
  if (name == "bullseye") return View::Bullseye;
  if (name == "segmental") return View::Segmental;
  return std::nullopt;
}

bool parseButtonAndModifiers(std::istringstream& words, ScriptEvent& e) {
  for (std::string w; words >> w;) {
    if (w == "left") e.button = MouseButton::Primary;
    else if (w == "right") e.button = MouseButton::Secondary;
    else if (w == "ctrl") e.modifiers.ctrl = true;
    else if (w == "shift") e.modifiers.shift = true;
    else return false;
  }
  return true;
}

struct NamedNumber {
  const char* name;
  OptionNumber field;
};
constexpr NamedNumber kNumbers[] = {
    {"threshold", OptionNumber::Threshold}, {"sampling", OptionNumber::Sampling},
    {"kernel-t", OptionNumber::KernelT},     {"kernel-z", OptionNumber::KernelZ},
    {"kernel-xy", OptionNumber::KernelXY},   {"iterations", OptionNumber::Iterations},
    {"compression", OptionNumber::Compression}, {"slope", OptionNumber::Slope}};
struct NamedChoice {
  const char* name;
  OptionChoice box;
};
constexpr NamedChoice kChoices[] = {
    {"language", OptionChoice::Language},          {"format", OptionChoice::Format},
    {"instants", OptionChoice::Instants},          {"rebin", OptionChoice::Rebin},
    {"short-axis", OptionChoice::ShortAxis},       {"equilibrium", OptionChoice::Equilibrium},
    {"method", OptionChoice::FitMethod},           {"weighting", OptionChoice::SurfaceWeighting},
    {"axial", OptionChoice::AxialSampling},        {"angular", OptionChoice::AngularSampling},
    {"preview", OptionChoice::PreviewSampling},    {"sync-directions", OptionChoice::SyncDirections},
    {"sync-zoom", OptionChoice::SyncZoom},         {"sync-ventricles", OptionChoice::SyncVentricles},
    {"sectors", OptionChoice::Sectors},            {"export-format", OptionChoice::ExportFormat},
    {"criterion", OptionChoice::FallCriterion}};

// An options-panel control by its script name; the outcome to print ("ok" or why not).
std::string setOptionControl(Workstation& ws, ScriptedPlatform& platform, const std::string& name,
                             const std::string& value) {
  const std::optional<long> number = scriptNumber(value);
  if (const auto field = optionNumberNamed(name)) {
    if (!number) return "option " + name + " needs a number";
    optionNumberTyped(ws, *field, *number);
    return "ok";
  }
  if (const auto box = optionChoiceNamed(name)) {
    if (!number || !optionChosen(ws, *box, static_cast<int>(*number))) return "no box of " + name + " offers " + value;
    return "ok";
  }
  if (name == "colour") {
    const std::optional<Rgb> colour = scriptColour(value);
    if (!colour) return "colour needs R,G,B";
    platform.colourAnswers.push_back(*colour);
    backgroundColourButton(ws);
    return "ok";
  }
  return "unknown option " + name;
}

}  // namespace

std::optional<long> scriptNumber(const std::string& text) {
  char* end = nullptr;
  const long number = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || !end || *end != '\0') return std::nullopt;
  return number;
}

std::optional<Rgb> scriptColour(const std::string& text) {
  int r = 0, g = 0, b = 0;
  if (std::sscanf(text.c_str(), "%d,%d,%d", &r, &g, &b) != 3) return std::nullopt;
  auto channel = [](int v) { return static_cast<unsigned char>(std::clamp(v, 0, 255)); };
  return Rgb{channel(r), channel(g), channel(b)};
}

std::optional<OptionNumber> optionNumberNamed(const std::string& name) {
  for (const NamedNumber& n : kNumbers)
    if (name == n.name) return n.field;
  return std::nullopt;
}

std::optional<OptionChoice> optionChoiceNamed(const std::string& name) {
  for (const NamedChoice& c : kChoices)
    if (name == c.name) return c.box;
  return std::nullopt;
}

std::optional<std::vector<ScriptEvent>> parseScript(std::istream& in, std::string& error) {
  std::vector<ScriptEvent> events;
  int lineNumber = 0;
  for (std::string line; std::getline(in, line);) {
    ++lineNumber;
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    std::istringstream words(line);
    std::string verb;
    if (!(words >> verb)) continue;
    ScriptEvent e;
    e.kind = ScriptEventKind::Command;
    e.line = lineNumber;
    auto fail = [&](const std::string& why) {
      error = "line " + std::to_string(lineNumber) + ": " + why;
      return std::nullopt;
    };
    auto rest = [&]() {
      std::string r;
      std::getline(words >> std::ws, r);
      return r;
    };
    auto view = [&]() -> bool {
      std::string name;
      if (!(words >> name)) return false;
      const auto v = viewFromName(name, e.viewIsMain);
      if (!v) return false;
      e.view = *v;
      return true;
    };
    if (verb == "open") {
      e.kind = ScriptEventKind::Open;
      e.text = rest();
      if (e.text.empty()) return fail("open needs a path");
    } else if (verb == "open-exam" || verb == "save-exam" || verb == "template" || verb == "comment") {
      e.kind = verb == "open-exam"   ? ScriptEventKind::OpenExam
               : verb == "save-exam" ? ScriptEventKind::SaveExam
               : verb == "template"  ? ScriptEventKind::Template
                                     : ScriptEventKind::Comment;
      e.text = rest();
      if (e.text.empty() && verb != "comment") return fail(verb + " needs a path");
    } else if (verb == "export-table" || verb == "export-table17") {
      e.kind = verb == "export-table" ? ScriptEventKind::ExportTable : ScriptEventKind::ExportTable17;
      if (!(words >> e.text)) return fail(verb + " needs a path");
      e.fields.assign(kPatientFieldCount, "");
      for (std::string kv; words >> kv;) {
        const int field = patientFieldIndex(kv.substr(0, kv.find('=')));
        if (kv.find('=') == std::string::npos || field < 0 || e.kind == ScriptEventKind::ExportTable)
          return fail("unknown patient field " + kv);
        e.fields[static_cast<size_t>(field)] = kv.substr(kv.find('=') + 1);
      }
    } else if (verb == "compare") {
      e.kind = ScriptEventKind::Compare;
      for (std::string path; words >> path;) e.fields.push_back(path);
      if (e.fields.empty()) return fail("compare needs the earlier exams");
    } else if (verb == "option") {
      e.kind = ScriptEventKind::Option;
      if (!(words >> e.text >> e.value)) return fail("option needs a name and a value");
    } else if (verb == "command") {
      e.kind = ScriptEventKind::Command;
      if (!(words >> e.number)) return fail("command needs a code");
    } else if (verb == "key" || verb == "keydown" || verb == "keyup") {
      e.kind = verb == "key" ? ScriptEventKind::Key : verb == "keydown" ? ScriptEventKind::KeyDown : ScriptEventKind::KeyUp;
      std::string spec;
      if (!(words >> spec)) return fail(verb + " needs a key name");
      for (;;) {
        if (spec.rfind("ctrl+", 0) == 0) e.modifiers.ctrl = true, spec.erase(0, 5);
        else if (spec.rfind("shift+", 0) == 0) e.modifiers.shift = true, spec.erase(0, 6);
        else break;
      }
      const auto key = keyFromName(spec);
      if (!key) return fail("unknown key " + spec);
      e.key = *key;
    } else if (verb == "press" || verb == "double" || verb == "move" || verb == "release") {
      e.kind = verb == "press"    ? ScriptEventKind::Press
               : verb == "double" ? ScriptEventKind::DoubleClick
               : verb == "move"   ? ScriptEventKind::Move
                                  : ScriptEventKind::Release;
      if (!view() || !(words >> e.x >> e.y)) return fail(verb + " needs a view and a position");
      if (!parseButtonAndModifiers(words, e)) return fail("unknown word after the position");
    } else if (verb == "wheel") {
      e.kind = ScriptEventKind::Wheel;
      if (!view() || !(words >> e.number)) return fail("wheel needs a view and steps");
      if (!parseButtonAndModifiers(words, e)) return fail("unknown word after the steps");
    } else if (verb == "scroll") {
      e.kind = ScriptEventKind::Scroll;
      if (!(words >> e.number)) return fail("scroll needs the first slice");
    } else if (verb == "threshold") {
      e.kind = ScriptEventKind::Threshold;
      if (!(words >> e.number)) return fail("threshold needs a percentage");
    } else if (verb == "answer") {
      e.kind = ScriptEventKind::Answer;
      e.text = rest();
    } else if (verb == "tick") {
      e.kind = ScriptEventKind::Tick;
      std::string which;
      words >> which;
      if (which == "cine") e.timer = TimerId::Cine;
      else if (which == "depol") e.timer = TimerId::Depolarisation;
      else if (which == "once") e.timer = TimerId::Redraw;
      else if (which == "background") e.timer = TimerId::Background;  // waits for the work to finish first
      else return fail("tick needs cine, depol, once or background");
    } else if (verb == "expect-stage") {
      e.kind = ScriptEventKind::ExpectStage;
      if (!(words >> e.number)) return fail("expect-stage needs a stage");
    } else if (verb == "picture") {
      e.kind = ScriptEventKind::Picture;
      if (!view()) return fail("picture needs a view");
      e.text = rest();
      if (e.text.empty()) return fail("picture needs a path");
    } else if (verb == "grab") {
      e.kind = ScriptEventKind::Grab;
      e.text = rest();
      if (e.text.empty()) return fail("grab needs a path");
    } else if (verb == "page") {
      e.kind = ScriptEventKind::Page;
      e.text = rest();
      if (e.text != "bullseye" && e.text != "segments") return fail("page needs bullseye or segments");
    } else if (verb == "json") {
      e.kind = ScriptEventKind::Json;
      e.text = rest();
      if (e.text.empty()) return fail("json needs a path");
    } else {
      return fail("unknown event " + verb);
    }
    events.push_back(std::move(e));
  }
  return events;
}

std::string runOutputEvent(Workstation& ws, const ScriptEvent& e, const ScriptOutputs& outputs) {
  switch (e.kind) {
    case ScriptEventKind::ExpectStage:
      if (ws.shell._MENU_ == e.number) return {};
      return "stage is " + std::to_string(ws.shell._MENU_) + ", expected " + std::to_string(e.number);
    case ScriptEventKind::Picture:
      if (!outputs.picture) return "this front end writes no pictures";
      return outputs.picture(e.viewIsMain ? stageView(ws) : e.view, e.text);
    case ScriptEventKind::Grab:
      if (!outputs.grab) return "this front end has no window to grab";
      return outputs.grab(e.text);
    case ScriptEventKind::Page:
      if (!outputs.page) return "this front end has no pages";
      return outputs.page(e.text);
    case ScriptEventKind::Json: {
      if (ws.w.settings.flow.vidange_done) {
        if (const Status s = bringCurrent(ws, Derived::Curves); !s)
          return "the results are out of date: " + s.refusal().en;
      }
      const std::string text = resultsJson(ws).dump(2) + "\n";
      return writeFileAtomically(e.text, std::string_view(text)) ? "" : "cannot write " + e.text;
    }
    default: return "not an output event";
  }
}

bool runScript(Workstation& ws, ScriptedPlatform& platform, const std::vector<ScriptEvent>& events, std::ostream& out,
               const ScriptOutputs& outputs) {
  for (const ScriptEvent& e : events) {
    const size_t seen = platform.calls.size();
    // What an event queues for dialogs that never opened (its command refused first) is not left
    // for the next event's dialogs.
    const size_t opens = platform.openAnswers.size(), saves = platform.saveAnswers.size(),
                 texts = platform.textAnswers.size(), forms = platform.formAnswers.size();
    const View view = e.viewIsMain ? stageView(ws) : e.view;
    std::string outcome = "ok";
    bool failed = false;
    // Commands go through the tool bar or the menus, as a click: one not offered is "disabled".
    auto command = [&](int code) {
      if (commandEnabled(ws, code))
        runCommand(ws, code);
      else
        outcome = "disabled";
    };
    switch (e.kind) {
      case ScriptEventKind::Open:
        platform.openAnswers.push_back(FileChoice{e.text, acquisitionFormatOf(e.text)});
        command(kCmdOpenAcquisition);
        break;
      case ScriptEventKind::Command: command(e.number); break;
      case ScriptEventKind::OpenExam:
        platform.openAnswers.push_back(FileChoice{e.text, 1});
        command(kCmdOpenExam);
        break;
      case ScriptEventKind::Compare:
        // Each exam chosen, then "another?" answered yes but after the last; a patient mismatch is declined.
        for (size_t k = 0; k < e.fields.size(); ++k) {
          platform.openAnswers.push_back(FileChoice{e.fields[k], 1});
          platform.questionAnswers.push_back(k + 1 < e.fields.size() ? QuestionAnswer::Ok : QuestionAnswer::Cancel);
        }
        command(kCmdCompareExams);
        break;
      case ScriptEventKind::SaveExam:
        platform.saveAnswers.push_back(FileChoice{e.text, 1});
        command(kCmdSaveExamAs);
        break;
      case ScriptEventKind::Template: {
        const size_t questions = platform.questionAnswers.size();
        platform.openAnswers.push_back(FileChoice{e.text, 1});
        platform.questionAnswers.push_front(QuestionAnswer::Ok);
        command(kCmdOpenTemplate);
        if (platform.questionAnswers.size() > questions) platform.questionAnswers.pop_front();
        break;
      }
      case ScriptEventKind::Comment:
        platform.textAnswers.push_back(e.text);
        command(kCmdComments);
        break;
      case ScriptEventKind::ExportTable:
      case ScriptEventKind::ExportTable17:
        platform.saveAnswers.push_back(FileChoice{e.text, 1});
        if (e.kind == ScriptEventKind::ExportTable17) platform.formAnswers.push_back(e.fields);
        command(e.kind == ScriptEventKind::ExportTable ? kCmdExportTable : kCmdExportTable17);
        break;
      case ScriptEventKind::Option:
        if (ws.shell._MENU_ != kStageOptions) outcome = "the options panel is not open";
        else outcome = setOptionControl(ws, platform, e.text, e.value);
        break;
      case ScriptEventKind::Key:
        keyDown(ws, e.key, e.modifiers);
        keyUp(ws, e.key, e.modifiers);
        break;
      case ScriptEventKind::KeyDown: keyDown(ws, e.key, e.modifiers); break;
      case ScriptEventKind::KeyUp: keyUp(ws, e.key, e.modifiers); break;
      case ScriptEventKind::Press: mousePress(ws, view, e.x, e.y, e.button, e.modifiers); break;
      case ScriptEventKind::DoubleClick: mouseDoubleClick(ws, view, e.x, e.y, e.button, e.modifiers); break;
      case ScriptEventKind::Move: mouseMove(ws, view, e.x, e.y); break;
      case ScriptEventKind::Release: mouseRelease(ws, view, e.x, e.y, e.button); break;
      case ScriptEventKind::Wheel: mouseWheel(ws, view, e.number, e.modifiers); break;
      case ScriptEventKind::Scroll: scrollMosaic(ws, e.number); break;
      case ScriptEventKind::Threshold:
        if (ws.shell._MENU_ == kStageReorientation)
          setThreshold(ws, e.number);
        else
          outcome = "the threshold slider is not shown";
        break;
      case ScriptEventKind::Answer: {
        const std::optional<long> bpm = scriptNumber(e.text);
        if (e.text == "yes") platform.questionAnswers.push_back(QuestionAnswer::Ok);
        else if (e.text == "no") platform.questionAnswers.push_back(QuestionAnswer::Cancel);
        else if (platform.heartRatePromptOpen && bpm)
          heartRateAnswered(ws, static_cast<int>(*bpm));
        else
          outcome = "no question or prompt takes \"" + e.text + "\"";
        break;
      }
      case ScriptEventKind::Tick:
        if (e.timer == TimerId::Background) ws.uncertaintyJob.wait();
        timerTick(ws, e.timer);
        break;
      case ScriptEventKind::ExpectStage:
      case ScriptEventKind::Picture:
      case ScriptEventKind::Grab:
      case ScriptEventKind::Page:
      case ScriptEventKind::Json:
        if (const std::string why = runOutputEvent(ws, e, outputs); !why.empty()) {
          outcome = "FAILED: " + why;
          failed = true;
        }
        break;
    }
    platform.openAnswers.resize(std::min(opens, platform.openAnswers.size()));
    platform.saveAnswers.resize(std::min(saves, platform.saveAnswers.size()));
    platform.textAnswers.resize(std::min(texts, platform.textAnswers.size()));
    platform.formAnswers.resize(std::min(forms, platform.formAnswers.size()));
    out << "line " << e.line << ": " << outcome << '\n';
    for (size_t i = seen; i < platform.calls.size(); ++i) {
      const ScriptedPlatform::Call& c = platform.calls[i];
      if (c.kind == "warning" || c.kind == "information" || c.kind == "question")
        out << "  " << c.kind << ": " << c.text << '\n';
      if (c.kind == "text:" + std::to_string(static_cast<int>(TextSlot::Status)) && !c.text.empty())
        out << "  status: " << c.text << '\n';
    }
    if (failed) return false;
  }
  return true;
}

}  // namespace quorvel
