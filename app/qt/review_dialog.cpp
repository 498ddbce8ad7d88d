#include "review_dialog.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <fstream>

#include "desktop_texts.h"

namespace quorvel {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

constexpr char kReviewListName[] = "to-review.txt";
constexpr char kExamExtension[] = ".qvx";

}  // namespace

ReviewDialog::ReviewDialog(int language, std::filesystem::path settings, QWidget* parent)
    : ListChoiceDialog(language, desktop_texts::kReviewTitle, desktop_texts::kReviewShow, desktop_texts::kReviewColumns,
                       parent),
      settings_(std::move(settings)) {
  const QSettings kept(qs(settings_.string()), QSettings::IniFormat);
  folder_ = new QLineEdit(kept.value("review").toString(), this);
  auto* form = new QFormLayout;
  form->addRow(qs(desktop_texts::kReviewFolder.pick(L_)), folder_);
  finish(
      form, [this] { showList(); }, [this] { openChosenExam(); });
  if (!folder_->text().isEmpty()) showList();
}

void ReviewDialog::showList() {
  const std::filesystem::path folder = folder_->text().trimmed().toStdString();
  QSettings(qs(settings_.string()), QSettings::IniFormat).setValue("review", folder_->text().trimmed());
  entries_.clear();
  std::ifstream in(folder / kReviewListName);
  for (std::string line; std::getline(in, line);) {
    const size_t tab = line.find('\t');
    if (tab != std::string::npos) entries_.push_back({line.substr(0, tab), line.substr(tab + 1)});
  }
  std::vector<std::vector<QString>> rows;
  for (const Entry& e : entries_) {
    const std::filesystem::path where(e.where);
    const std::string patient = where.begin() != where.end() ? where.begin()->string() : std::string();
    rows.push_back({qs(patient), qs(where.parent_path().filename().string()), qs(e.reason)});
  }
  showRows(rows);
  statusLine()->setText(in.is_open()
                            ? qs(format(desktop_texts::kReviewCount.pick(L_), static_cast<int>(entries_.size())))
                            : qs(desktop_texts::kReviewNoList.pick(L_)));
}

void ReviewDialog::openChosenExam() {
  const int row = chosenRow();
  if (row < 0) return;
  const Entry& e = entries_.at(static_cast<size_t>(row));
  const std::filesystem::path folder = folder_->text().trimmed().toStdString();
  // The list names a place under the folder; nothing in it may lead elsewhere.
  const std::filesystem::path where = std::filesystem::path(e.where).lexically_normal();
  if (where.is_absolute() || where.empty() || *where.begin() == "..") return;
  const std::filesystem::path exam = folder / (where.string() + kExamExtension);
  if (!std::filesystem::exists(exam)) {
    statusLine()->setText(
        qs(format(desktop_texts::kReviewNoExam.pick(L_), (folder / (where.string() + ".log")).c_str())));
    return;
  }
  exam_ = exam;
  accept();
}

}  // namespace quorvel
