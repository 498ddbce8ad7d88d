#pragma once
// Platform for tests and the command line: answers are queued in advance, every call is recorded.
#include <deque>
#include <string>
#include <vector>

#include "base/platform.h"

namespace quorvel {

class ScriptedPlatform : public Platform {
 public:
  struct Call {
    std::string kind;  // "warning", "information", "question", "open", "save", "folder", ...
    std::string text;
    std::string title;  // of a question
  };

  // Queued answers, consumed in order. An empty queue answers Cancel / no choice.
  std::deque<QuestionAnswer> questionAnswers;
  std::deque<std::optional<FileChoice>> openAnswers;
  std::deque<std::optional<FileChoice>> saveAnswers;
  std::deque<std::optional<std::string>> folderAnswers;
  std::deque<std::optional<Rgb>> colourAnswers;
  std::deque<std::optional<std::string>> textAnswers;
  std::deque<std::optional<std::vector<std::string>>> formAnswers;
  std::optional<Form> lastForm;  // the last form shown, with the texts its fields opened with
  bool cancelProgress = false;
  ScreenSize screen;
  bool documentViewer = true;  // whether openDocument finds a program to show the file

  // When set, messages are also printed on standard error (the command line uses this).
  bool echoMessages = false;

  std::vector<Call> calls;

  // Convenience queries for tests. Texts are recorded as kind "text:<slot>" with slot the
  // TextSlot's number.
  int count(const std::string& kind) const;
  std::vector<std::string> texts(const std::string& kind) const;
  const Call* last(const std::string& kind) const;
  bool heartRatePromptOpen = false;
  std::vector<TimerId> runningTimers;
  int picturesChanged = 0;
  std::vector<View> changedViews;  // every view named by a change, in order

  void warning(const std::string& text) override;
  void information(const std::string& text) override;
  using Platform::question;
  QuestionAnswer question(const std::string& text, const std::string& title) override;
  std::optional<FileChoice> chooseOpenFile(const std::string& title, const std::vector<FileFilter>& filters,
                                           int preselectedFilter) override;
  std::optional<FileChoice> chooseSaveFile(const std::string& title, const std::vector<FileFilter>& filters,
                                           int preselectedFilter) override;
  std::optional<std::string> chooseFolder(const std::string& title) override;
  std::optional<Rgb> chooseColour(Rgb initial) override;
  std::optional<std::string> editText(const std::string& title, const std::string& initial) override;
  // Recorded as kind "form" with the title and the fields' captions.
  std::optional<std::vector<std::string>> fillForm(const Form& form) override;
  void openHeartRatePrompt(int initialBpm) override;
  void closeHeartRatePrompt() override;
  void startTimer(TimerId id, int periodMs) override;
  void stopTimer(TimerId id) override;
  void pictureChanged(View view) override;
  void textChanged(TextSlot slot, const std::string& text) override;
  void beginProgress(const std::string& title) override;
  bool progress(double fraction) override;
  void endProgress() override;
  bool openDocument(const std::string& path) override;
  ScreenSize screenSize() override;
  [[noreturn]] void fatal(int code, const std::string& title, const std::string& text) override;

 private:
  void record(std::string kind, std::string text, std::string title = {});
};

}  // namespace quorvel
