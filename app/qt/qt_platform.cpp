#include "qt_platform.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QUrl>
#include <cstdlib>

#include "desktop_texts.h"
#include "picture_view.h"
#include "text_dialogs.h"

namespace quorvel {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// The window the offscreen platform gives, which the start-up check accepts.
constexpr ScreenSize kOffscreenScreen{1280, 900};
constexpr int kPromptWidth = 240, kPromptHeight = 80;
constexpr int kProgressSteps = 1000;

}  // namespace

HeartRatePrompt::HeartRatePrompt(QWidget* parent, int initialBpm, int LANGUE, std::function<void(int)> answered)
    : QDialog(parent), field_(new QLineEdit(this)), ok_(new QPushButton("OK", this)) {
  setWindowTitle(kProductTitle);
  setModal(false);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(new QLabel(desktop_texts::kHeartRateLabel.pick(LANGUE), this));
  field_->setValidator(new QIntValidator(0, 999, field_));
  field_->setText(QString::number(initialBpm));
  field_->setMaximumWidth(48);
  layout->addWidget(field_);
  layout->addWidget(ok_);
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(this, &QDialog::accepted, this, [this, answered, initialBpm] {
    bool number = false;
    const int bpm = field_->text().toInt(&number);
    answered(number ? bpm : initialBpm);
  });
  resize(kPromptWidth, kPromptHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QSize s = screen->size();
    move(s.width() / 2 - kPromptWidth / 2, s.height() / 2 - 100);
  }
}

QtPlatform::QtPlatform() {
  for (int id = 0; id < kTimerCount; ++id)
    QObject::connect(&timers_[id], &QTimer::timeout, [this, id] {
      if (onTimer) onTimer(static_cast<TimerId>(id));
    });
}

QtPlatform::~QtPlatform() = default;

int QtPlatform::run(QDialog& dialog) {
  if (answerDialogs) QTimer::singleShot(0, &dialog, [this, &dialog] { answerDialogs(dialog); });
  return dialog.exec();
}

void QtPlatform::warning(const std::string& text) {
  shown.push_back({"warning", text});
  QMessageBox box(QMessageBox::Warning, kProductTitle, qs(text), QMessageBox::Ok, parentWindow);
  run(box);
}

void QtPlatform::information(const std::string& text) {
  shown.push_back({"information", text});
  QMessageBox box(QMessageBox::Information, kProductTitle, qs(text), QMessageBox::Ok, parentWindow);
  run(box);
}

void QtPlatform::informationWithPicture(const std::string& text, const Bitmap24& picture) {
  shown.push_back({"information", text});
  PictureInfoDialog dialog(parentWindow, text, imageOf(picture));
  run(dialog);
}

QuestionAnswer QtPlatform::question(const std::string& text, const std::string& title) {
  shown.push_back({"question", text, title});
  QMessageBox box(QMessageBox::Question, qs(title), qs(text), QMessageBox::Ok | QMessageBox::Cancel, parentWindow);
  return run(box) == QMessageBox::Ok ? QuestionAnswer::Ok : QuestionAnswer::Cancel;
}

std::optional<FileChoice> QtPlatform::chooseFile(bool save, const std::string& title,
                                                 const std::vector<FileFilter>& filters, int preselectedFilter) {
  shown.push_back({save ? "save" : "open", title});
  QFileDialog dialog(parentWindow, qs(title));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // A dialog answered by a script must be one of ours, not the desktop's native one; the script's
  // answer is also its confirmation to replace a file.
  if (answerDialogs) dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
  QStringList names;
  for (const FileFilter& f : filters) names << QString("%1 (%2)").arg(qs(f.label), qs(f.pattern));
  dialog.setNameFilters(names);
  if (preselectedFilter >= 1 && preselectedFilter <= names.size()) dialog.selectNameFilter(names[preselectedFilter - 1]);
  if (!lastFolder.empty()) dialog.setDirectory(qs(lastFolder));
  if (save && !suggestedFileStem.empty()) dialog.selectFile(qs(suggestedFileStem));
  if (run(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const int filter = static_cast<int>(names.indexOf(dialog.selectedNameFilter())) + 1;
  const QString chosen = dialog.selectedFiles().front();
  rememberFolder(QFileInfo(chosen).absolutePath());
  return FileChoice{chosen.toStdString(), filter > 0 ? filter : 1};
}

void QtPlatform::recallLastFolder() {
  if (folderMemory.empty()) return;
  const QSettings kept(QString::fromStdString(folderMemory.string()), QSettings::IniFormat);
  const QString folder = kept.value("lastFolder").toString();
  if (QFileInfo(folder).isDir()) lastFolder = folder.toStdString();
}

void QtPlatform::rememberFolder(const QString& folder) {
  lastFolder = folder.toStdString();
  if (!folderMemory.empty())
    QSettings(QString::fromStdString(folderMemory.string()), QSettings::IniFormat).setValue("lastFolder", folder);
}

std::optional<FileChoice> QtPlatform::chooseOpenFile(const std::string& title, const std::vector<FileFilter>& filters,
                                                     int preselectedFilter) {
  return chooseFile(false, title, filters, preselectedFilter);
}

std::optional<FileChoice> QtPlatform::chooseSaveFile(const std::string& title, const std::vector<FileFilter>& filters,
                                                     int preselectedFilter) {
  return chooseFile(true, title, filters, preselectedFilter);
}

std::optional<std::string> QtPlatform::chooseFolder(const std::string& title) {
  shown.push_back({"folder", title});
  QFileDialog dialog(parentWindow, qs(title));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (answerDialogs) dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (!lastFolder.empty()) dialog.setDirectory(qs(lastFolder));
  if (run(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const QString chosen = dialog.selectedFiles().front();
  rememberFolder(chosen);
  return chosen.toStdString();
}

std::optional<Rgb> QtPlatform::chooseColour(Rgb initial) {
  shown.push_back({"colour", ""});
  QColorDialog dialog(QColor(initial.r, initial.g, initial.b), parentWindow);
  if (answerDialogs) dialog.setOption(QColorDialog::DontUseNativeDialog);
  if (run(dialog) != QDialog::Accepted) return std::nullopt;
  const QColor c = dialog.selectedColor();
  return Rgb{static_cast<unsigned char>(c.red()), static_cast<unsigned char>(c.green()),
             static_cast<unsigned char>(c.blue())};
}

std::optional<std::string> QtPlatform::editText(const std::string& title, const std::string& initial) {
  shown.push_back({"edit", title});
  CommentsDialog dialog(parentWindow, title, initial);
  if (run(dialog) != QDialog::Accepted) return std::nullopt;
  return dialog.text();
}

std::optional<std::vector<std::string>> QtPlatform::fillForm(const Form& form) {
  shown.push_back({"form", form.title});
  FormDialog dialog(parentWindow, form);
  if (run(dialog) != QDialog::Accepted) return std::nullopt;
  return dialog.texts();
}

void QtPlatform::openHeartRatePrompt(int initialBpm) {
  // A window of its own, centred on the screen, that the platform alone owns.
  prompt_ = std::make_unique<HeartRatePrompt>(nullptr, initialBpm, language, [this](int bpm) {
    if (onHeartRate) onHeartRate(bpm);
  });
  prompt_->show();
}

void QtPlatform::closeHeartRatePrompt() {
  // Called from inside the prompt's own OK: the widget goes once the event is over.
  if (!prompt_) return;
  prompt_->hide();
  prompt_.release()->deleteLater();
}

void QtPlatform::startTimer(TimerId id, int periodMs) {
  QTimer& t = timers_[static_cast<int>(id)];
  t.setSingleShot(id == TimerId::Redraw);
  t.start(periodMs);
}

void QtPlatform::stopTimer(TimerId id) { timers_[static_cast<int>(id)].stop(); }

void QtPlatform::pictureChanged(View view) {
  if (onPicture) onPicture(view);
}

void QtPlatform::textChanged(TextSlot slot, const std::string& text) {
  if (slot == TextSlot::Status && !text.empty()) shown.push_back({"status", text});
  if (onText) onText(slot, text);
}

void QtPlatform::beginProgress(const std::string& title) {
  if (progressDepth_++ > 0) {
    progress_->setLabelText(qs(title));
    return;
  }
  progress_ = std::make_unique<QProgressDialog>(qs(title), desktop_texts::kCancel.pick(language), 0, kProgressSteps,
                                                parentWindow);
  progress_->setWindowTitle(kProductTitle);
  progress_->setWindowModality(Qt::WindowModal);
  progress_->setMinimumDuration(0);
  progress_->setValue(0);
}

bool QtPlatform::progress(double fraction) {
  if (!progress_) return true;
  progress_->setValue(static_cast<int>(fraction * kProgressSteps));
  // The wait window is modal: the main window takes no input while the core works.
  QCoreApplication::processEvents();
  return !progress_->wasCanceled();
}

void QtPlatform::beginWait(const std::string& title) {
  const bool first = progressDepth_ == 0;
  beginProgress(title);
  if (first) progress_->setCancelButton(nullptr);
}

void QtPlatform::endProgress() {
  if (progressDepth_ > 0 && --progressDepth_ > 0) return;
  progressDepth_ = 0;
  progress_.reset();
}

bool QtPlatform::openDocument(const std::string& path) {
  shown.push_back({"document", path});
  if (openDocumentWith) return openDocumentWith(path);
  return QDesktopServices::openUrl(QUrl::fromLocalFile(qs(path)));
}

ScreenSize QtPlatform::screenSize() {
  if (QGuiApplication::platformName() == "offscreen") return kOffscreenScreen;
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return kOffscreenScreen;
  return {screen->size().width(), screen->size().height()};
}

void QtPlatform::fatal(int code, const std::string& title, const std::string& text) {
  shown.push_back({"fatal", text});
  QMessageBox box(QMessageBox::Critical, qs(title), qs(text), QMessageBox::Ok, parentWindow);
  run(box);
  std::exit(code);
}

}  // namespace quorvel
