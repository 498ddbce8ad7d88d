#pragma once
// "Open from archive...": the user asks the archive for a patient's studies, picks one, and the
// study's gated tomography is brought over into the application folder, ready to open.
#include <filesystem>
#include <optional>
#include <vector>

#include "list_choice_dialog.h"
#include "node/archive_query.h"

class QLineEdit;
class QSettings;

namespace quorvel {

// TLS with the archive, set by hand in the archive settings: tls_key, tls_cert (PEM files of this
// workstation) and tls_trust (the PEM certificates the archive's must chain to, comma-separated).
node::TlsSettings archiveTls(const QSettings& kept);

class ArchiveDialog : public ListChoiceDialog {
 public:
  // settings: where the archive's address and our AE title are kept between starts; folder: where
  // retrieved studies go.
  ArchiveDialog(int language, std::filesystem::path settings, std::filesystem::path folder, QWidget* parent = nullptr);

  // The acquisition to open once the dialog is accepted.
  const std::filesystem::path& acquisition() const { return acquisition_; }

  QLineEdit* archiveField() const { return archive_; }
  QLineEdit* patientIdField() const { return patientId_; }

 private:
  void searchArchive();
  void retrieveChosenStudy();
  std::optional<node::Destination> archive();

  std::filesystem::path settings_, folder_, acquisition_;
  std::vector<node::ArchiveStudy> studies_;
  QLineEdit *archive_, *aet_, *patientName_, *patientId_, *dates_;
};

}  // namespace quorvel
