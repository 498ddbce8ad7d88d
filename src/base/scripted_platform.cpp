#include "base/scripted_platform.h"

#include <algorithm>
#include <iostream>

namespace quorvel {

void ScriptedPlatform::record(std::string kind, std::string text, std::string title) {
  if (echoMessages && (kind == "warning" || kind == "information" || kind == "fatal"))
    std::cerr << text << '\n';
  calls.push_back({std::move(kind), std::move(text), std::move(title)});
}

int ScriptedPlatform::count(const std::string& kind) const {
  return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const Call& c) { return c.kind == kind; }));
}

std::vector<std::string> ScriptedPlatform::texts(const std::string& kind) const {
  std::vector<std::string> out;
  for (const Call& c : calls)
    if (c.kind == kind) out.push_back(c.text);
  return out;
}

const ScriptedPlatform::Call* ScriptedPlatform::last(const std::string& kind) const {
  for (auto it = calls.rbegin(); it != calls.rend(); ++it)
    if (it->kind == kind) return &*it;
  return nullptr;
}

void ScriptedPlatform::warning(const std::string& text) { record("warning", text); }
void ScriptedPlatform::information(const std::string& text) { record("information", text); }

QuestionAnswer ScriptedPlatform::question(const std::string& text, const std::string& title) {
  record("question", text, title);
  if (questionAnswers.empty()) return QuestionAnswer::Cancel;
  QuestionAnswer a = questionAnswers.front();
  questionAnswers.pop_front();
  return a;
}

template <typename T>
static std::optional<T> popAnswer(std::deque<std::optional<T>>& queue) {
  if (queue.empty()) return std::nullopt;
  std::optional<T> a = std::move(queue.front());
  queue.pop_front();
  return a;
}

static std::string describeChooser(const std::string& title, const std::vector<FileFilter>& filters, int pre) {
  std::string s = title + " [";
  for (size_t i = 0; i < filters.size(); ++i) s += (i ? "|" : "") + filters[i].label + " " + filters[i].pattern;
  return s + "] filter " + std::to_string(pre);
}

std::optional<FileChoice> ScriptedPlatform::chooseOpenFile(const std::string& title,
                                                           const std::vector<FileFilter>& filters, int pre) {
  record("open", describeChooser(title, filters, pre));
  return popAnswer(openAnswers);
}

std::optional<FileChoice> ScriptedPlatform::chooseSaveFile(const std::string& title,
                                                           const std::vector<FileFilter>& filters, int pre) {
  record("save", describeChooser(title, filters, pre));
  return popAnswer(saveAnswers);
}

std::optional<std::string> ScriptedPlatform::chooseFolder(const std::string& title) {
  record("folder", title);
  return popAnswer(folderAnswers);
}

std::optional<Rgb> ScriptedPlatform::chooseColour(Rgb initial) {
  record("colour", std::to_string(initial.r) + "," + std::to_string(initial.g) + "," + std::to_string(initial.b));
  return popAnswer(colourAnswers);
}

std::optional<std::string> ScriptedPlatform::editText(const std::string& title, const std::string& initial) {
  record("edit", title + ": " + initial);
  return popAnswer(textAnswers);
}

std::optional<std::vector<std::string>> ScriptedPlatform::fillForm(const Form& form) {
  std::string captions;
  for (const FormField& f : form.fields) captions += (captions.empty() ? "" : "|") + f.caption;
  record("form", form.title + " [" + captions + "]");
  lastForm = form;
  return popAnswer(formAnswers);
}

void ScriptedPlatform::openHeartRatePrompt(int initialBpm) {
  heartRatePromptOpen = true;
  record("heart-rate-prompt", std::to_string(initialBpm));
}

void ScriptedPlatform::closeHeartRatePrompt() {
  heartRatePromptOpen = false;
  record("heart-rate-prompt-close", "");
}

void ScriptedPlatform::startTimer(TimerId id, int periodMs) {
  if (std::find(runningTimers.begin(), runningTimers.end(), id) == runningTimers.end()) runningTimers.push_back(id);
  record("timer-start", std::to_string(static_cast<int>(id)) + ":" + std::to_string(periodMs));
}

void ScriptedPlatform::stopTimer(TimerId id) {
  std::erase(runningTimers, id);
  record("timer-stop", std::to_string(static_cast<int>(id)));
}

void ScriptedPlatform::pictureChanged(View view) {
  ++picturesChanged;
  changedViews.push_back(view);
}

void ScriptedPlatform::textChanged(TextSlot slot, const std::string& text) {
  record("text:" + std::to_string(static_cast<int>(slot)), text);
}

void ScriptedPlatform::beginProgress(const std::string& title) { record("progress-begin", title); }
bool ScriptedPlatform::progress(double) { return !cancelProgress; }
void ScriptedPlatform::endProgress() { record("progress-end", ""); }

bool ScriptedPlatform::openDocument(const std::string& path) {
  record("document", path);
  return documentViewer;
}

ScreenSize ScriptedPlatform::screenSize() { return screen; }

void ScriptedPlatform::fatal(int code, const std::string& title, const std::string& text) {
  record("fatal", std::to_string(code) + " " + text);
  throw FatalExit{code, title, text};
}

}  // namespace quorvel
