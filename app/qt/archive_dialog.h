#pragma once
// "Open from archive...": the user asks the archive for a patient's studies, picks one, and the
// study's gated tomography is brought over into the application folder, ready to open.
#include <QDialog>
#include <filesystem>
#include <vector>

#include "node/archive_query.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace quorvel {

class ArchiveDialog : public QDialog {
 public:
  // settings: where the archive's address and our AE title are kept between starts; folder: where
  // retrieved studies go.
  ArchiveDialog(int language, std::filesystem::path settings, std::filesystem::path folder, QWidget* parent = nullptr);

  // The acquisition to open once the dialog is accepted.
  const std::filesystem::path& acquisition() const { return acquisition_; }

  // The widgets tests fill and press.
  QLineEdit* archiveField() const { return archive_; }
  QLineEdit* patientIdField() const { return patientId_; }
  QPushButton* searchButton() const { return search_; }
  QPushButton* openButton() const { return open_; }
  QTableWidget* studiesTable() const { return table_; }
  QLabel* statusLine() const { return status_; }

 private:
  void searchArchive();
  void retrieveChosenStudy();
  std::optional<node::Destination> archive();
  void saveSettings() const;

  int L_;
  std::filesystem::path settings_, folder_, acquisition_;
  std::vector<node::ArchiveStudy> studies_;
  QLineEdit *archive_, *aet_, *patientName_, *patientId_, *dates_;
  QPushButton *search_, *open_;
  QTableWidget* table_;
  QLabel* status_;
};

}  // namespace quorvel
