#pragma once
// Answers given in advance to the dialogs the window will open (scripts and tests), consumed in
// order. With none left a question and a chooser are cancelled and a message box acknowledged, so
// that no dialog waits for a user who is not there.
#include <deque>
#include <optional>

#include "base/platform.h"

class QDialog;

namespace quorvel {

struct DialogAnswers {
  std::deque<QuestionAnswer> questions;
  std::deque<std::optional<FileChoice>> files;

  // Answers the dialog through its own widgets and closes it.
  void answer(QDialog& dialog);
};

}  // namespace quorvel
