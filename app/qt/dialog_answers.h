#pragma once
// Answers given in advance to the dialogs the window will open (scripts and tests), consumed in
// order. With none left a question and a chooser are cancelled and a message box acknowledged, so
// that no dialog waits for a user who is not there.
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "base/platform.h"

class QDialog;

namespace quorvel {

struct DialogAnswers {
  std::deque<QuestionAnswer> questions;
  std::deque<std::optional<FileChoice>> files;
  std::deque<std::optional<std::string>> texts;                 // the comments editor
  std::deque<std::optional<std::vector<std::string>>> forms;    // forms of edit fields
  std::deque<std::optional<Rgb>> colours;

  // Answers the dialog through its own widgets and closes it.
  void answer(QDialog& dialog);

  // The answers queued for choosers and editors, and dropping those queued since that no dialog
  // took (the command was refused before its dialog), so that the next command's dialogs do not
  // take them.
  struct Queued {
    size_t files, texts, forms, colours;
  };
  Queued queued() const { return {files.size(), texts.size(), forms.size(), colours.size()}; }
  void dropUnused(const Queued& before);
};

}  // namespace quorvel
