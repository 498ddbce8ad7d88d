#include "archive_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QVBoxLayout>

#include "desktop_texts.h"
#include "node/image_header.h"

namespace quorvel {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

ArchiveDialog::ArchiveDialog(int language, std::filesystem::path settings, std::filesystem::path folder,
                             QWidget* parent)
    : QDialog(parent), L_(language), settings_(std::move(settings)), folder_(std::move(folder)) {
  using namespace desktop_texts;
  setWindowTitle(qs(kArchiveTitle.pick(L_)));
  const QSettings kept(qs(settings_.string()), QSettings::IniFormat);
  archive_ = new QLineEdit(kept.value("archive").toString(), this);
  aet_ = new QLineEdit(kept.value("aet", "QUORVEL").toString(), this);
  patientName_ = new QLineEdit(this);
  patientId_ = new QLineEdit(this);
  dates_ = new QLineEdit(this);
  auto* form = new QFormLayout;
  form->addRow(qs(kArchiveAddress.pick(L_)), archive_);
  form->addRow(qs(kArchiveOurAet.pick(L_)), aet_);
  form->addRow(qs(kArchivePatientName.pick(L_)), patientName_);
  form->addRow(qs(kArchivePatientId.pick(L_)), patientId_);
  form->addRow(qs(kArchiveDates.pick(L_)), dates_);
  search_ = new QPushButton(qs(kArchiveSearch.pick(L_)), this);
  search_->setDefault(true);
  table_ = new QTableWidget(0, 5, this);
  table_->setHorizontalHeaderLabels(qs(kArchiveColumns.pick(L_)).split('|'));
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->verticalHeader()->hide();
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(this);
  open_ = buttons->addButton(qs(kArchiveOpen.pick(L_)), QDialogButtonBox::AcceptRole);
  buttons->addButton(qs(kCancel.pick(L_)), QDialogButtonBox::RejectRole);
  open_->setEnabled(false);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(search_, 0, Qt::AlignRight);
  layout->addWidget(table_, 1);
  layout->addWidget(status_);
  layout->addWidget(buttons);
  resize(720, 480);
  connect(search_, &QPushButton::clicked, this, [this] { searchArchive(); });
  connect(table_, &QTableWidget::itemSelectionChanged, this,
          [this] { open_->setEnabled(!table_->selectedItems().isEmpty()); });
  connect(table_, &QTableWidget::cellDoubleClicked, this, [this] { retrieveChosenStudy(); });
  connect(buttons, &QDialogButtonBox::accepted, this, [this] { retrieveChosenStudy(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

std::optional<node::Destination> ArchiveDialog::archive() {
  const auto d = node::parseDestination(archive_->text().trimmed().toStdString());
  if (!d) status_->setText(qs(desktop_texts::kArchiveNotAddress.pick(L_)));
  return d;
}

void ArchiveDialog::saveSettings() const {
  QSettings kept(qs(settings_.string()), QSettings::IniFormat);
  kept.setValue("archive", archive_->text().trimmed());
  kept.setValue("aet", aet_->text().trimmed());
}

void ArchiveDialog::searchArchive() {
  const auto to = archive();
  if (!to) return;
  saveSettings();
  status_->setText(qs(desktop_texts::kArchiveSearching.pick(L_)));
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QApplication::processEvents();
  const node::FindOutcome found =
      node::findStudies(aet_->text().trimmed().toStdString(), *to,
                        {patientName_->text().trimmed().toStdString(), patientId_->text().trimmed().toStdString(),
                         dates_->text().trimmed().toStdString()});
  QApplication::restoreOverrideCursor();
  studies_ = found.studies;
  table_->setRowCount(static_cast<int>(studies_.size()));
  for (int r = 0; r < table_->rowCount(); ++r) {
    const node::ArchiveStudy& s = studies_[static_cast<size_t>(r)];
    const QString cells[] = {qs(shownDate(s.studyDate)), qs(s.patientId), qs(s.patientName).replace('^', ' '),
                             qs(s.modalities), qs(s.description)};
    for (int c = 0; c < 5; ++c) table_->setItem(r, c, new QTableWidgetItem(cells[c]));
  }
  if (!found.why.empty()) {
    status_->setText(qs(to->text() + " : " + found.why));
  } else {
    status_->setText(qs(format(desktop_texts::kArchiveFound.pick(L_), static_cast<int>(studies_.size()))));
  }
  table_->resizeColumnsToContents();
  table_->horizontalHeader()->setStretchLastSection(true);
  if (studies_.size() == 1) table_->selectRow(0);
}

void ArchiveDialog::retrieveChosenStudy() {
  const QList<QTableWidgetItem*> chosen = table_->selectedItems();
  const auto to = archive();
  if (chosen.isEmpty() || !to) return;
  const node::ArchiveStudy& s = studies_.at(static_cast<size_t>(chosen.front()->row()));
  status_->setText(qs(desktop_texts::kArchiveRetrieving.pick(L_)));
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QApplication::processEvents();
  const node::RetrieveOutcome got = node::retrieveStudy(aet_->text().trimmed().toStdString(), *to, s.studyUid, folder_);
  QApplication::restoreOverrideCursor();
  if (!got.why.empty()) {
    status_->setText(qs(to->text() + " : " + got.why));
    return;
  }
  // The gated tomography of the study: its one multi-frame image.
  for (const auto& f : got.files)
    if (node::readImageHeader(f).frames > 1) {
      acquisition_ = f;
      accept();
      return;
    }
  status_->setText(qs(desktop_texts::kArchiveNoGated.pick(L_)));
}

}  // namespace quorvel
