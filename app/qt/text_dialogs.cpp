#include "text_dialogs.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace quorvel {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

constexpr int kCommentsWidth = 520, kCommentsHeight = 360;
// The patient dialog's size and place: left edge at half the screen less 150, top at half less 300.
constexpr int kFormWidth = 305, kFormHeight = 390, kFormLeft = 150, kFormTop = 300;
constexpr int kTitleBarButtons = 140;  // room a window manager takes beside a title

}  // namespace

CommentsDialog::CommentsDialog(QWidget* parent, const std::string& caption, const std::string& initial)
    : QDialog(parent), editor_(new QPlainTextEdit(this)) {
  setWindowTitle(kProductTitle);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(qs(caption), this));
  editor_->setPlainText(qs(initial));
  layout->addWidget(editor_, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(kCommentsWidth, kCommentsHeight);
}

PictureInfoDialog::PictureInfoDialog(QWidget* parent, const std::string& text, const QImage& picture)
    : QDialog(parent) {
  setWindowTitle(kProductTitle);
  auto* layout = new QVBoxLayout(this);
  auto* words = new QLabel(qs(text), this);
  words->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(words);
  auto* plot = new QLabel(this);
  plot->setPixmap(QPixmap::fromImage(picture));
  layout->addWidget(plot, 0, Qt::AlignHCenter);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}

std::string CommentsDialog::text() const { return editor_->toPlainText().toStdString(); }

FormDialog::FormDialog(QWidget* parent, const Form& form) : QDialog(parent), validate_(new QPushButton(this)) {
  setWindowTitle(qs(form.title));
  auto* layout = new QFormLayout(this);
  for (const FormField& f : form.fields) {
    auto* edit = new QLineEdit(qs(f.text), this);
    fields_.push_back(edit);
    layout->addRow(qs(f.caption), edit);
  }
  validate_->setText(qs(form.validate));
  validate_->setDefault(true);
  auto* cancel = new QPushButton(qs(form.cancel), this);
  connect(validate_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(validate_, QDialogButtonBox::AcceptRole);
  buttons->addButton(cancel, QDialogButtonBox::RejectRole);
  layout->addRow(buttons);
  // Wide enough for its title beside the window manager's buttons, centred as before.
  const int width = std::max(kFormWidth, fontMetrics().horizontalAdvance(windowTitle()) + kTitleBarButtons);
  resize(width, kFormHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QSize s = screen->size();
    move(s.width() / 2 - kFormLeft - (width - kFormWidth) / 2, std::max(s.height() / 2 - kFormTop, 0));
  }
}

std::vector<std::string> FormDialog::texts() const {
  std::vector<std::string> out;
  for (const QLineEdit* f : fields_) out.push_back(f->text().toStdString());
  return out;
}

}  // namespace quorvel
