#pragma once
// The command line's platform: messages go to standard error, nobody answers questions or
// choosers (they are cancelled), timers and pictures do nothing, and a fatal condition unwinds
// to the command as a FatalExit so that it can end with the code.
#include <string>

#include "base/platform.h"

namespace quorvel::cli {

class ConsolePlatform : public Platform {
 public:
  bool showProgress = false;  // progress of long work as a percentage on standard error

  void warning(const std::string& text) override;
  void information(const std::string& text) override;
  using Platform::question;
  QuestionAnswer question(const std::string& text, const std::string& title) override;
  std::optional<FileChoice> chooseOpenFile(const std::string&, const std::vector<FileFilter>&, int) override {
    return std::nullopt;
  }
  std::optional<FileChoice> chooseSaveFile(const std::string&, const std::vector<FileFilter>&, int) override {
    return std::nullopt;
  }
  std::optional<std::string> chooseFolder(const std::string&) override { return std::nullopt; }
  std::optional<Rgb> chooseColour(Rgb) override { return std::nullopt; }
  void openHeartRatePrompt(int) override {}
  void closeHeartRatePrompt() override {}
  void startTimer(TimerId, int) override {}
  void stopTimer(TimerId) override {}
  void pictureChanged(View) override {}
  void textChanged(TextSlot, const std::string&) override {}
  void beginProgress(const std::string& title) override;
  bool progress(double fraction) override;
  void endProgress() override;
  bool openDocument(const std::string&) override { return false; }
  ScreenSize screenSize() override { return {}; }
  [[noreturn]] void fatal(int code, const std::string& title, const std::string& text) override;

 private:
  std::string progressTitle_;
  int progressDepth_ = 0;  // a progress begun inside another shares its line
};

}  // namespace quorvel::cli
