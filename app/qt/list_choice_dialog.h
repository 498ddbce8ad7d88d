#pragma once
// A dialog where the user looks something up and chooses one row of what came: the fields on top,
// the button that fills the list, the list, a status line, Open and Cancel. Double-clicking a row
// opens it too.
#include <QDialog>
#include <QString>
#include <functional>
#include <vector>

#include "base/language.h"

class QFormLayout;
class QLabel;
class QPushButton;
class QTableWidget;

namespace quorvel {

class ListChoiceDialog : public QDialog {
 public:
  QPushButton* fillButton() const { return fill_; }
  QPushButton* openButton() const { return open_; }
  QTableWidget* table() const { return table_; }
  QLabel* statusLine() const { return status_; }

 protected:
  ListChoiceDialog(int language, const Text& title, const Text& fillLabel, const Text& columns, QWidget* parent);
  // Lays the fields out above the list and connects the buttons; fill fills the list, choose acts
  // on the chosen row (and accepts the dialog when it succeeds).
  void finish(QFormLayout* fields, std::function<void()> fill, std::function<void()> choose);
  // The list's rows, each cell's whole text also as its tool tip (a long one is cut).
  void showRows(const std::vector<std::vector<QString>>& rows);
  // The chosen row, or -1.
  int chosenRow() const;

  int L_;

 private:
  QPushButton *fill_, *open_;
  QTableWidget* table_;
  QLabel* status_;
};

}  // namespace quorvel
