#pragma once
// The core's platform on Qt Widgets: message boxes and choosers as modal dialogs over the main
// window, the modeless heart-rate prompt, the three timers, the wait window, the system viewer.
// What the core announces (pictures, texts, timer ticks, the prompt's answer) goes to the handlers
// the main window sets.
#include <QDialog>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/platform.h"

class QLineEdit;
class QPushButton;
class QProgressDialog;
class QWidget;

namespace quorvel {

// The modeless prompt: one number field and OK. Closing it counts as OK with the field's value,
// so that the study never stays waiting for a rate nobody can give any more.
class HeartRatePrompt : public QDialog {
 public:
  HeartRatePrompt(QWidget* parent, int initialBpm, int LANGUE, std::function<void(int)> answered);
  QLineEdit* field() const { return field_; }
  QPushButton* okButton() const { return ok_; }
  void reject() override { accept(); }

 private:
  QLineEdit* field_;
  QPushButton* ok_;
};

class QtPlatform : public Platform {
 public:
  QtPlatform();
  ~QtPlatform() override;

  // Handlers of the main window.
  std::function<void(View)> onPicture;
  std::function<void(TextSlot, const std::string&)> onText;
  std::function<void(TimerId)> onTimer;
  std::function<void(int)> onHeartRate;

  // When set, every modal dialog is handed to it once shown, and it must close it (scripts and
  // tests answer the real dialogs this way).
  std::function<void(QDialog&)> answerDialogs;
  // Opens a document; by default in the system's viewer.
  std::function<bool(const std::string&)> openDocumentWith;

  QWidget* parentWindow = nullptr;
  int language = 0;  // of the platform's own texts (the prompt, the wait window)
  // The last folder chosen in a file chooser, where the next one starts; kept in this file
  // between starts when it is set.
  std::string lastFolder;
  std::filesystem::path folderMemory;
  void recallLastFolder();

  // Every box, chooser and document the user was shown, in order.
  struct Shown {
    std::string kind;  // warning, information, question, open, save, folder, colour, fatal, document, edit, form
    std::string text;
    std::string title = {};  // of a question
  };
  std::vector<Shown> shown;

  HeartRatePrompt* heartRatePrompt() const { return prompt_.get(); }
  bool busy() const { return progress_ != nullptr; }  // long work under way in the wait window

  void warning(const std::string& text) override;
  void information(const std::string& text) override;
  void informationWithPicture(const std::string& text, const Bitmap24& picture) override;
  using Platform::question;
  QuestionAnswer question(const std::string& text, const std::string& title) override;
  std::optional<FileChoice> chooseOpenFile(const std::string& title, const std::vector<FileFilter>& filters,
                                           int preselectedFilter) override;
  std::optional<FileChoice> chooseSaveFile(const std::string& title, const std::vector<FileFilter>& filters,
                                           int preselectedFilter) override;
  std::optional<std::string> chooseFolder(const std::string& title) override;
  std::optional<Rgb> chooseColour(Rgb initial) override;
  std::optional<std::string> editText(const std::string& title, const std::string& initial) override;
  std::optional<std::vector<std::string>> fillForm(const Form& form) override;
  void openHeartRatePrompt(int initialBpm) override;
  void closeHeartRatePrompt() override;
  void startTimer(TimerId id, int periodMs) override;
  void stopTimer(TimerId id) override;
  void pictureChanged(View view) override;
  void textChanged(TextSlot slot, const std::string& text) override;
  void beginProgress(const std::string& title) override;
  void beginWait(const std::string& title) override;
  bool progress(double fraction) override;
  void endProgress() override;
  bool openDocument(const std::string& path) override;
  ScreenSize screenSize() override;
  [[noreturn]] void fatal(int code, const std::string& title, const std::string& text) override;

  // A modal dialog of the desktop's own, answered by the script's answers when there are any.
  int run(QDialog& dialog);

 private:
  std::optional<FileChoice> chooseFile(bool save, const std::string& title, const std::vector<FileFilter>& filters,
                                       int preselectedFilter);
  void rememberFolder(const QString& folder);

  QTimer timers_[kTimerCount];
  std::unique_ptr<HeartRatePrompt> prompt_;
  std::unique_ptr<QProgressDialog> progress_;
  int progressDepth_ = 0;  // begins not yet ended
};

}  // namespace quorvel
