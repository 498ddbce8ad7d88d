#pragma once
// The desktop's text dialogs: the comments editor of the exam and the form of edit fields the
// core asks to fill (the 17-sector table's patient dialog).
#include <QDialog>
#include <string>
#include <vector>

#include "base/platform.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quorvel {

class CommentsDialog : public QDialog {
 public:
  CommentsDialog(QWidget* parent, const std::string& caption, const std::string& initial);
  QPlainTextEdit* editor() const { return editor_; }
  std::string text() const;

 private:
  QPlainTextEdit* editor_;
};

class FormDialog : public QDialog {
 public:
  FormDialog(QWidget* parent, const Form& form);
  const std::vector<QLineEdit*>& fields() const { return fields_; }
  QPushButton* validateButton() const { return validate_; }
  std::vector<std::string> texts() const;

 private:
  std::vector<QLineEdit*> fields_;
  QPushButton* validate_;
};

}  // namespace quorvel
