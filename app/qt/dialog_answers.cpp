#include "dialog_answers.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>

#include "text_dialogs.h"

namespace quorvel {

namespace {

template <typename T>
std::optional<T> next(std::deque<T>& queue) {
  if (queue.empty()) return std::nullopt;
  T front = std::move(queue.front());
  queue.pop_front();
  return front;
}

}  // namespace

void DialogAnswers::answer(QDialog& dialog) {
  if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
    QAbstractButton* button = box->button(QMessageBox::Ok);
    if (box->button(QMessageBox::Cancel) && next(questions).value_or(QuestionAnswer::Cancel) == QuestionAnswer::Cancel)
      button = box->button(QMessageBox::Cancel);
    if (button) button->click();
  } else if (auto* files = qobject_cast<QFileDialog*>(&dialog)) {
    const std::optional<FileChoice> choice = next(this->files).value_or(std::nullopt);
    const QFileInfo file(choice ? QString::fromStdString(choice->path) : QString());
    // An open dialog refuses a missing file with a box of its own: such an answer cancels instead.
    if (choice && (file.exists() || files->acceptMode() == QFileDialog::AcceptSave)) {
      const QStringList filters = files->nameFilters();
      if (choice->filter >= 1 && choice->filter <= filters.size()) files->selectNameFilter(filters[choice->filter - 1]);
      files->setDirectory(file.absolutePath());
      files->selectFile(file.fileName());
      dialog.accept();  // the file dialog's own checks, through the public slot
    }
  } else if (auto* comments = dynamic_cast<CommentsDialog*>(&dialog)) {
    if (const std::optional<std::string> text = next(texts).value_or(std::nullopt)) {
      comments->editor()->setPlainText(QString::fromStdString(*text));
      dialog.accept();
    }
  } else if (dynamic_cast<PictureInfoDialog*>(&dialog)) {
    dialog.accept();  // read by nobody: closed as its OK button does
  } else if (auto* form = dynamic_cast<FormDialog*>(&dialog)) {
    if (const auto typed = next(forms).value_or(std::nullopt)) {
      for (size_t i = 0; i < form->fields().size() && i < typed->size(); ++i)
        form->fields()[i]->setText(QString::fromStdString((*typed)[i]));
      form->validateButton()->click();
    }
  } else if (auto* colour = qobject_cast<QColorDialog*>(&dialog)) {
    if (const std::optional<Rgb> c = next(colours).value_or(std::nullopt)) {
      colour->setCurrentColor(QColor(c->r, c->g, c->b));
      dialog.accept();
    }
  }
  // A dialog the answer did not close (a file that is not there, a dialog of another kind).
  if (dialog.isVisible()) dialog.reject();
}

void DialogAnswers::dropUnused(const Queued& before) {
  files.resize(std::min(before.files, files.size()));
  texts.resize(std::min(before.texts, texts.size()));
  forms.resize(std::min(before.forms, forms.size()));
  colours.resize(std::min(before.colours, colours.size()));
}

}  // namespace quorvel
