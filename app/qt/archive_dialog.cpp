#include "archive_dialog.h"

#include <QApplication>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>

#include "desktop_texts.h"
#include "node/image_header.h"

namespace quorvel {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

node::TlsSettings archiveTls(const QSettings& kept) {
  node::TlsSettings tls{
      kept.value("tls_key").toString().toStdString(), kept.value("tls_cert").toString().toStdString(), {}};
  for (const QString& f : kept.value("tls_trust").toStringList()) tls.trustedFiles.push_back(f.trimmed().toStdString());
  return tls;
}

ArchiveDialog::ArchiveDialog(int language, std::filesystem::path settings, std::filesystem::path folder,
                             QWidget* parent)
    : ListChoiceDialog(language, desktop_texts::kArchiveTitle, desktop_texts::kArchiveSearch,
                       desktop_texts::kArchiveColumns, parent),
      settings_(std::move(settings)),
      folder_(std::move(folder)) {
  using namespace desktop_texts;
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
  finish(
      form, [this] { searchArchive(); }, [this] { retrieveChosenStudy(); });
}

std::optional<node::Destination> ArchiveDialog::archive() {
  const auto d = node::parseDestination(archive_->text().trimmed().toStdString());
  if (!d) statusLine()->setText(qs(desktop_texts::kArchiveNotAddress.pick(L_)));
  return d;
}

void ArchiveDialog::searchArchive() {
  const auto to = archive();
  if (!to) return;
  QSettings kept(qs(settings_.string()), QSettings::IniFormat);
  kept.setValue("archive", archive_->text().trimmed());
  kept.setValue("aet", aet_->text().trimmed());
  statusLine()->setText(qs(desktop_texts::kArchiveSearching.pick(L_)));
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QApplication::processEvents();
  const node::FindOutcome found =
      node::findStudies(node::Caller(aet_->text().trimmed().toStdString(), archiveTls(kept)), *to,
                        {patientName_->text().trimmed().toStdString(), patientId_->text().trimmed().toStdString(),
                         dates_->text().trimmed().toStdString()});
  QApplication::restoreOverrideCursor();
  studies_ = found.studies;
  std::vector<std::vector<QString>> rows;
  for (const node::ArchiveStudy& s : studies_)
    rows.push_back({qs(shownDate(s.studyDate)), qs(s.patientId), qs(s.patientName).replace('^', ' '), qs(s.modalities),
                    qs(s.description)});
  showRows(rows);
  statusLine()->setText(found.why.empty()
                            ? qs(format(desktop_texts::kArchiveFound.pick(L_), static_cast<int>(studies_.size())))
                            : qs(to->text() + " : " + found.why));
}

void ArchiveDialog::retrieveChosenStudy() {
  const int row = chosenRow();
  const auto to = archive();
  if (row < 0 || !to) return;
  const node::ArchiveStudy& s = studies_.at(static_cast<size_t>(row));
  statusLine()->setText(qs(desktop_texts::kArchiveRetrieving.pick(L_)));
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QApplication::processEvents();
  const QSettings kept(qs(settings_.string()), QSettings::IniFormat);
  const node::RetrieveOutcome got = node::retrieveStudy(
      node::Caller(aet_->text().trimmed().toStdString(), archiveTls(kept)), *to, s.studyUid, folder_);
  QApplication::restoreOverrideCursor();
  if (!got.why.empty()) {
    statusLine()->setText(qs(to->text() + " : " + got.why));
    return;
  }
  // The gated tomography of the study: its one multi-frame image.
  for (const auto& f : got.files)
    if (node::readImageHeader(f).frames > 1) {
      acquisition_ = f;
      accept();
      return;
    }
  statusLine()->setText(qs(desktop_texts::kArchiveNoGated.pick(L_)));
}

}  // namespace quorvel
