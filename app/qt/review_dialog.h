#pragma once
// "Studies to review...": the list the DICOM node keeps of the studies it analysed with warnings
// or could not analyse, each with its reason; the chosen one's exam is opened for a person to check.
#include <QDialog>
#include <filesystem>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace quorvel {

class ReviewDialog : public QDialog {
 public:
  ReviewDialog(int language, std::filesystem::path settings, QWidget* parent = nullptr);

  // The exam to open once the dialog is accepted.
  const std::filesystem::path& exam() const { return exam_; }

  QLineEdit* folderField() const { return folder_; }
  QPushButton* showButton() const { return show_; }
  QPushButton* openButton() const { return open_; }
  QTableWidget* studiesTable() const { return table_; }
  QLabel* statusLine() const { return status_; }

 private:
  struct Entry {
    std::string where, reason;  // patient/study/instance under the folder, and why
  };
  void showList();
  void openChosenExam();

  int L_;
  std::filesystem::path settings_, exam_;
  std::vector<Entry> entries_;
  QLineEdit* folder_;
  QPushButton *show_, *open_;
  QTableWidget* table_;
  QLabel* status_;
};

}  // namespace quorvel
