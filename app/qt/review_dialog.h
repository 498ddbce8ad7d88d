#pragma once
// "Studies to review...": the list the DICOM node keeps of the studies it analysed with warnings
// or could not analyse, each with its reason; the chosen one's exam is opened for a person to check.
#include <filesystem>
#include <string>
#include <vector>

#include "list_choice_dialog.h"

class QLineEdit;

namespace quorvel {

class ReviewDialog : public ListChoiceDialog {
 public:
  ReviewDialog(int language, std::filesystem::path settings, QWidget* parent = nullptr);

  // The exam to open once the dialog is accepted.
  const std::filesystem::path& exam() const { return exam_; }

  QLineEdit* folderField() const { return folder_; }

 private:
  struct Entry {
    std::string where, reason;  // patient/study/instance under the folder, and why
  };
  void showList();
  void openChosenExam();

  std::filesystem::path settings_, exam_;
  std::vector<Entry> entries_;
  QLineEdit* folder_;
};

}  // namespace quorvel
