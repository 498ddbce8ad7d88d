#pragma once
// The options panel (stage 5): the controls the core lists, laid out in two columns over the
// background colour of the options. Each change goes to the shell at once; Enter or the validate
// button validate the panel there.
#include <QWidget>
#include <functional>
#include <vector>

#include "ui/options_panel.h"
#include "ui/workstation.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quorvel {

class OptionsPanel : public QWidget {
 public:
  OptionsPanel(Workstation& ws, QWidget* parent);

  // After each change the shell made (the main window refreshes everything it shows).
  std::function<void()> changed;

  // Texts, checked boxes and fields from the options.
  void refresh();

  // The widgets scripts and tests address; nullptr when the panel has no such control.
  QLineEdit* field(OptionNumber number) const;
  QCheckBox* box(OptionChoice choice, int value) const;
  QPushButton* colourButton() const { return colour_; }
  QPushButton* validateButton() const { return validate_; }
  bool ownsField(const QObject* widget) const;

 private:
  struct Shown {
    const OptionControl* control = nullptr;
    QLabel* heading = nullptr;
    std::vector<QCheckBox*> boxes;  // in the order of the control's values (one for a single box)
    QLineEdit* field = nullptr;
    QPushButton* button = nullptr;
  };
  void build();
  void after();

  Workstation& ws_;
  std::vector<Shown> shown_;
  QPushButton* colour_ = nullptr;
  QPushButton* validate_ = nullptr;
  bool refreshing_ = false;
};

}  // namespace quorvel
