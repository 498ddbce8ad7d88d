#include "list_choice_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "desktop_texts.h"

namespace quorvel {

ListChoiceDialog::ListChoiceDialog(int language, const Text& title, const Text& fillLabel, const Text& columns,
                                   QWidget* parent)
    : QDialog(parent), L_(language) {
  setWindowTitle(QString::fromUtf8(title.pick(L_)));
  fill_ = new QPushButton(QString::fromUtf8(fillLabel.pick(L_)), this);
  fill_->setDefault(true);  // Return in a field fills the list
  const QStringList headers = QString::fromUtf8(columns.pick(L_)).split('|');
  table_ = new QTableWidget(0, static_cast<int>(headers.size()), this);
  table_->setHorizontalHeaderLabels(headers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->verticalHeader()->hide();
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  open_ = new QPushButton(QString::fromUtf8(desktop_texts::kArchiveOpen.pick(L_)), this);
  open_->setEnabled(false);
}

void ListChoiceDialog::finish(QFormLayout* fields, std::function<void()> fill, std::function<void()> choose) {
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(open_, QDialogButtonBox::AcceptRole);
  buttons->addButton(QString::fromUtf8(desktop_texts::kCancel.pick(L_)), QDialogButtonBox::RejectRole);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(fill_, 0, Qt::AlignRight);
  layout->addWidget(table_, 1);
  layout->addWidget(status_);
  layout->addWidget(buttons);
  resize(720, 480);
  connect(fill_, &QPushButton::clicked, this, fill);
  connect(table_, &QTableWidget::itemSelectionChanged, this,
          [this] { open_->setEnabled(!table_->selectedItems().isEmpty()); });
  connect(table_, &QTableWidget::cellDoubleClicked, this, choose);
  connect(buttons, &QDialogButtonBox::accepted, this, choose);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void ListChoiceDialog::showRows(const std::vector<std::vector<QString>>& rows) {
  table_->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < table_->rowCount(); ++r)
    for (int c = 0; c < table_->columnCount() && c < static_cast<int>(rows[r].size()); ++c) {
      auto* item = new QTableWidgetItem(rows[r][c]);
      item->setToolTip(rows[r][c]);
      table_->setItem(r, c, item);
    }
  table_->resizeColumnsToContents();
  // Sized to their contents, the last column then takes the room left (set again to take effect).
  table_->horizontalHeader()->setStretchLastSection(false);
  table_->horizontalHeader()->setStretchLastSection(true);
  if (rows.size() == 1) table_->selectRow(0);
}

int ListChoiceDialog::chosenRow() const {
  const QList<QTableWidgetItem*> chosen = table_->selectedItems();
  return chosen.isEmpty() ? -1 : chosen.front()->row();
}

}  // namespace quorvel
