#include "dialog_answers.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

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
  }
  // A dialog the answer did not close (a file that is not there, a dialog of another kind).
  if (dialog.isVisible()) dialog.reject();
}

}  // namespace quorvel
