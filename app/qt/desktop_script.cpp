#include "desktop_script.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QWheelEvent>
#include <algorithm>
#include <ostream>

#include "dialog_answers.h"
#include "key_map.h"
#include "model3d_panels.h"
#include "options_panel.h"
#include "ui/shell.h"
#include "ui/view_pictures.h"

namespace quorvel {

namespace {

Qt::KeyboardModifiers qtModifiers(KeyModifiers m) {
  Qt::KeyboardModifiers out;
  if (m.ctrl) out |= Qt::ControlModifier;
  if (m.shift) out |= Qt::ShiftModifier;
  return out;
}

Qt::MouseButton qtButton(MouseButton b) { return b == MouseButton::Primary ? Qt::LeftButton : Qt::RightButton; }

// Lets the window catch up: posted picture rebuilds, repaints, deferred deletions.
void settle() {
  for (int round = 0; round < 3; ++round) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

class Driver {
 public:
  // The script answers the dialogs while it runs; whoever answered them before does again after.
  Driver(MainWindow& window, QtPlatform& platform, Workstation& ws)
      : window_(window), platform_(platform), ws_(ws), before_(platform.answerDialogs) {
    platform_.answerDialogs = [this](QDialog& d) { answers_.answer(d); };
  }
  ~Driver() { platform_.answerDialogs = before_; }

  // The outcome of one event: "ok", a remark, or "FAILED: ...".
  std::string run(const ScriptEvent& e) {
    const DialogAnswers::Queued queued = answers_.queued();
    std::string outcome = deliver(e);
    answers_.dropUnused(queued);
    return outcome;
  }

 private:
  std::string deliver(const ScriptEvent& e) {
    const View view = e.viewIsMain ? stageView(ws_) : e.view;
    switch (e.kind) {
      case ScriptEventKind::Open:
        answers_.files.push_back(FileChoice{e.text, acquisitionFormatOf(e.text)});
        return command(kCmdOpenAcquisition);
      case ScriptEventKind::Command: return command(e.number);
      case ScriptEventKind::Key:
        sendKey(window_, e.key, e.modifiers, true);
        sendKey(window_, e.key, e.modifiers, false);
        return "ok";
      case ScriptEventKind::KeyDown: sendKey(window_, e.key, e.modifiers, true); return "ok";
      case ScriptEventKind::KeyUp: sendKey(window_, e.key, e.modifiers, false); return "ok";
      case ScriptEventKind::Press:
      case ScriptEventKind::DoubleClick:
      case ScriptEventKind::Move:
      case ScriptEventKind::Release: return mouse(e, view);
      case ScriptEventKind::Wheel: return wheel(e, view);
      case ScriptEventKind::Scroll: window_.mosaicScrollBar()->setValue(e.number); return "ok";
      case ScriptEventKind::Threshold:
        if (!window_.thresholdSlider()->isVisible()) return "the threshold slider is not shown";
        window_.thresholdSlider()->setValue(e.number);
        return "ok";
      case ScriptEventKind::Answer: return answer(e.text);
      case ScriptEventKind::Tick:
        if (e.timer == TimerId::Background) ws_.uncertaintyJob.wait();  // replayed the same every time
        window_.tick(e.timer);
        return "ok";
      case ScriptEventKind::OpenExam:
        answers_.files.push_back(FileChoice{e.text, 1});
        return command(kCmdOpenExam);
      case ScriptEventKind::Compare:
        for (size_t k = 0; k < e.fields.size(); ++k) {
          answers_.files.push_back(FileChoice{e.fields[k], 1});
          answers_.questions.push_back(k + 1 < e.fields.size() ? QuestionAnswer::Ok : QuestionAnswer::Cancel);
        }
        return command(kCmdCompareExams);
      case ScriptEventKind::SaveExam:
        answers_.files.push_back(FileChoice{e.text, 1});
        return command(kCmdSaveExamAs);
      case ScriptEventKind::Template: {
        const size_t questions = answers_.questions.size();
        answers_.files.push_back(FileChoice{e.text, 1});
        answers_.questions.push_front(QuestionAnswer::Ok);  // "process according to" this file
        const std::string outcome = command(kCmdOpenTemplate);
        if (answers_.questions.size() > questions) answers_.questions.pop_front();
        return outcome;
      }
      case ScriptEventKind::Comment:
        answers_.texts.push_back(e.text);
        return command(kCmdComments);
      case ScriptEventKind::ExportTable:
      case ScriptEventKind::ExportTable17:
        if (e.kind == ScriptEventKind::ExportTable17) answers_.forms.push_back(e.fields);
        answers_.files.push_back(FileChoice{e.text, 1});
        return command(e.kind == ScriptEventKind::ExportTable ? kCmdExportTable : kCmdExportTable17);
      case ScriptEventKind::Option: return option(e.text, e.value);
      default: {
        ScriptOutputs outputs;
        outputs.picture = [this](View v, const std::string& path) { return writeViewPicture(ws_, v, path); };
        outputs.grab = [this](const std::string& path) -> std::string {
          window_.rebuildPictures();
          return window_.grab().save(QString::fromStdString(path), "PNG") ? "" : "cannot write " + path;
        };
        outputs.page = [this](const std::string& page) -> std::string {
          if (ws_.shell._MENU_ != kStageResults3D) return "the 3D results are not shown";
          window_.results3DPanel()->showPage(page == "segments" ? View::Segmental : View::Bullseye);
          return "";
        };
        const std::string why = runOutputEvent(ws_, e, outputs);
        return why.empty() ? "ok" : "FAILED: " + why;
      }
    }
  }

  // Through the tool bar button or the menu item, as a click; commands outside both directly.
  std::string command(int code) {
    if (QAction* action = window_.commandAction(code)) {
      if (!action->isEnabled()) return "disabled";
      action->trigger();
    } else {
      window_.command(code);
    }
    return "ok";
  }

  // A control of the options panel, as the user works it: digits typed into a field, a box
  // clicked, the colour button with the chooser answered.
  std::string option(const std::string& name, const std::string& value) {
    const OptionsPanel* panel = window_.optionsPanel();
    if (!window_.stagePanel()->isAncestorOf(panel)) return "the options panel is not open";
    const std::optional<long> number = scriptNumber(value);
    if (const auto field = optionNumberNamed(name)) {
      QLineEdit* edit = panel->field(*field);
      if (!edit || !number || *number < 0) return "option " + name + " needs a number";
      edit->setFocus();
      edit->selectAll();
      for (const QChar c : QString::number(*number)) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_0 + c.digitValue(), Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &press);
      }
      edit->clearFocus();  // leaving the field shows the value kept
      window_.refresh();
      return "ok";
    }
    if (const auto choice = optionChoiceNamed(name)) {
      QCheckBox* box = number ? panel->box(*choice, static_cast<int>(*number)) : nullptr;
      // A single box: 1 checks it, 0 unchecks it.
      const auto& controls = optionsPanel();
      const bool single = std::any_of(controls.begin(), controls.end(), [&](const OptionControl& c) {
        return c.kind == OptionControl::Kind::Box && c.choice == *choice;
      });
      if (box && single) {
        if (box->isChecked() != (*number == 1)) box->click();
        return "ok";
      }
      if (!box || !box->isVisible()) return "no box of " + name + " offers " + value;
      box->click();
      return "ok";
    }
    if (name == "colour") {
      const std::optional<Rgb> colour = scriptColour(value);
      if (!colour) return "colour needs R,G,B";
      answers_.colours.push_back(*colour);
      panel->colourButton()->click();
      return "ok";
    }
    return "unknown option " + name;
  }

  std::string mouse(const ScriptEvent& e, View view) {
    const auto target = window_.widgetPointOf(view, e.x, e.y);
    if (!target) return "FAILED: the window shows no such view";
    const auto [widget, at] = *target;
    const Qt::MouseButton button = qtButton(e.button);
    QEvent::Type type = QEvent::MouseMove;
    if (e.kind == ScriptEventKind::Press) type = QEvent::MouseButtonPress, held_ |= button;
    if (e.kind == ScriptEventKind::DoubleClick) type = QEvent::MouseButtonDblClick;
    if (e.kind == ScriptEventKind::Release) type = QEvent::MouseButtonRelease, held_ &= ~button;
    const QPointF local(at), global(widget->mapToGlobal(at));
    QMouseEvent event(type, local, global, type == QEvent::MouseMove ? Qt::NoButton : button, held_,
                      qtModifiers(e.modifiers));
    QApplication::sendEvent(widget, &event);
    return "ok";
  }

  std::string wheel(const ScriptEvent& e, View view) {
    PictureView* widget = window_.pictureView(view);
    if (!widget) return "FAILED: the window shows no such view";
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * e.number), held_,
                      qtModifiers(e.modifiers), Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
    return "ok";
  }

  std::string answer(const std::string& text) {
    if (text == "yes" || text == "no") {
      answers_.questions.push_back(text == "yes" ? QuestionAnswer::Ok : QuestionAnswer::Cancel);
      return "ok";
    }
    HeartRatePrompt* prompt = platform_.heartRatePrompt();
    if (!prompt || !scriptNumber(text)) return "no question or prompt takes \"" + text + "\"";
    prompt->field()->setText(QString::fromStdString(text));
    prompt->okButton()->click();
    return "ok";
  }

  MainWindow& window_;
  QtPlatform& platform_;
  Workstation& ws_;
  std::function<void(QDialog&)> before_;
  DialogAnswers answers_;
  Qt::MouseButtons held_;
};

}  // namespace

void sendKey(MainWindow& window, Key key, KeyModifiers m, bool press) {
  QWidget* target = QApplication::focusWidget();
  if (!target || target->window() != &window) target = &window;
  QKeyEvent event(press ? QEvent::KeyPress : QEvent::KeyRelease, qtKeyOf(key), qtModifiers(m));
  QApplication::sendEvent(target, &event);
}

bool runDesktopScript(MainWindow& window, QtPlatform& platform, Workstation& ws, const std::vector<ScriptEvent>& events,
                      std::ostream& out) {
  Driver driver(window, platform, ws);
  settle();
  for (const ScriptEvent& e : events) {
    const size_t seen = platform.shown.size();
    const std::string outcome = driver.run(e);
    settle();
    out << "line " << e.line << ": " << outcome << '\n';
    for (size_t i = seen; i < platform.shown.size(); ++i) {
      const QtPlatform::Shown& s = platform.shown[i];
      if (s.kind == "warning" || s.kind == "information" || s.kind == "question" || s.kind == "status")
        out << "  " << s.kind << ": " << s.text << '\n';
    }
    if (outcome.rfind("FAILED", 0) == 0) return false;
  }
  return true;
}

}  // namespace quorvel
