#pragma once
// The desktop's text dialogs: the comments editor of the exam, the form of edit fields the core
// asks to fill (the 17-sector table's patient dialog), an information with a picture.
#include <QDialog>
#include <string>
#include <vector>

#include "base/platform.h"

class QImage;
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

// A text to read above a picture (a plot), closed by its OK button.
class PictureInfoDialog : public QDialog {
 public:
  PictureInfoDialog(QWidget* parent, const std::string& text, const QImage& picture);
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
