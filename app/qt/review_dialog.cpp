#include "review_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QVBoxLayout>
#include <fstream>

#include "desktop_texts.h"

namespace quorvel {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

constexpr char kReviewListName[] = "to-review.txt";
constexpr char kExamExtension[] = ".qvx";

}  // namespace

ReviewDialog::ReviewDialog(int language, std::filesystem::path settings, QWidget* parent)
    : QDialog(parent), L_(language), settings_(std::move(settings)) {
  using namespace desktop_texts;
  setWindowTitle(qs(kReviewTitle.pick(L_)));
  const QSettings kept(qs(settings_.string()), QSettings::IniFormat);
  folder_ = new QLineEdit(kept.value("review").toString(), this);
  show_ = new QPushButton(qs(kReviewShow.pick(L_)), this);
  show_->setDefault(true);
  auto* form = new QFormLayout;
  form->addRow(qs(kReviewFolder.pick(L_)), folder_);
  table_ = new QTableWidget(0, 3, this);
  table_->setHorizontalHeaderLabels(qs(kReviewColumns.pick(L_)).split('|'));
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->verticalHeader()->hide();
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(this);
  open_ = buttons->addButton(qs(desktop_texts::kArchiveOpen.pick(L_)), QDialogButtonBox::AcceptRole);
  buttons->addButton(qs(kCancel.pick(L_)), QDialogButtonBox::RejectRole);
  open_->setEnabled(false);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(show_, 0, Qt::AlignRight);
  layout->addWidget(table_, 1);
  layout->addWidget(status_);
  layout->addWidget(buttons);
  resize(720, 480);
  connect(show_, &QPushButton::clicked, this, [this] { showList(); });
  connect(table_, &QTableWidget::itemSelectionChanged, this,
          [this] { open_->setEnabled(!table_->selectedItems().isEmpty()); });
  connect(table_, &QTableWidget::cellDoubleClicked, this, [this] { openChosenExam(); });
  connect(buttons, &QDialogButtonBox::accepted, this, [this] { openChosenExam(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
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
  table_->setRowCount(static_cast<int>(entries_.size()));
  for (int r = 0; r < table_->rowCount(); ++r) {
    const Entry& e = entries_[static_cast<size_t>(r)];
    const std::filesystem::path where(e.where);
    const std::string patient = where.begin() != where.end() ? where.begin()->string() : std::string();
    const QString cells[] = {qs(patient), qs(where.parent_path().filename().string()), qs(e.reason)};
    for (int c = 0; c < 3; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      item->setToolTip(cells[c]);  // a long reason is cut in its column
      table_->setItem(r, c, item);
    }
  }
  table_->resizeColumnsToContents();
  table_->horizontalHeader()->setStretchLastSection(true);
  status_->setText(in.is_open() ? qs(format(desktop_texts::kReviewCount.pick(L_), static_cast<int>(entries_.size())))
                      : qs(desktop_texts::kReviewNoList.pick(L_)));
}

void ReviewDialog::openChosenExam() {
  const QList<QTableWidgetItem*> chosen = table_->selectedItems();
  if (chosen.isEmpty()) return;
  const Entry& e = entries_.at(static_cast<size_t>(chosen.front()->row()));
  const std::filesystem::path folder = folder_->text().trimmed().toStdString();
  // The list names a place under the folder; nothing in it may lead elsewhere.
  const std::filesystem::path where = std::filesystem::path(e.where).lexically_normal();
  if (where.is_absolute() || where.empty() || *where.begin() == "..") return;
  const std::filesystem::path exam = folder / (where.string() + kExamExtension);
  if (!std::filesystem::exists(exam)) {
    status_->setText(qs(format(desktop_texts::kReviewNoExam.pick(L_), (folder / (where.string() + ".log")).c_str())));
    return;
  }
  exam_ = exam;
  accept();
}

}  // namespace quorvel
