#include "options_panel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "ui/shell.h"

namespace quorvel {

namespace {

using Kind = OptionControl::Kind;

constexpr int kFieldWidth = 64;
constexpr int kColumnSpacing = 36;
constexpr int kRowSpacing = 4, kGroupSpacing = 10;

// Two columns, the second for the 3D settings, so that the panel fits beside the help panel.
bool startsColumn(const OptionControl& c) { return c.kind == Kind::Boxes && c.choice == OptionChoice::AxialSampling; }

QCheckBox* quietBox(QWidget* parent) {
  auto* b = new QCheckBox(parent);
  b->setFocusPolicy(Qt::NoFocus);  // keys belong to the shell, but for the number fields
  return b;
}

}  // namespace

OptionsPanel::OptionsPanel(Workstation& ws, QWidget* parent) : QWidget(parent), ws_(ws) {
  setAutoFillBackground(true);
  build();
}

void OptionsPanel::build() {
  auto* outer = new QVBoxLayout(this);
  auto* columns = new QHBoxLayout();
  columns->setSpacing(kColumnSpacing);
  outer->addLayout(columns);
  QVBoxLayout* column = nullptr;
  auto button = [this](std::function<void()> clicked) {
    auto* b = new QPushButton(this);
    b->setFocusPolicy(Qt::NoFocus);
    connect(b, &QPushButton::clicked, this, [this, clicked] {
      clicked();
      after();
    });
    return b;
  };
  for (const OptionControl& c : optionsPanel()) {
    if (!column || startsColumn(c)) {
      if (column) column->addStretch(1);
      column = new QVBoxLayout();
      column->setSpacing(kRowSpacing);  // a child layout would take its parent's spacing
      columns->addLayout(column);
    } else if (c.kind == Kind::Boxes || c.kind == Kind::Colour ||
               (c.kind == Kind::Number && c.number == OptionNumber::Sampling)) {
      column->addSpacing(kGroupSpacing);
    }
    Shown s;
    s.control = &c;
    switch (c.kind) {
      case Kind::Boxes: {
        s.heading = new QLabel(this);
        column->addWidget(s.heading);
        auto* row = new QHBoxLayout();
        for (const OptionBox& b : c.boxes) {
          QCheckBox* box = quietBox(this);
          connect(box, &QCheckBox::clicked, this, [this, &c, value = b.value] {
            if (refreshing_) return;
            optionChosen(ws_, c.choice, value);
            after();
          });
          row->addWidget(box);
          s.boxes.push_back(box);
        }
        row->addStretch(1);
        column->addLayout(row);
        break;
      }
      case Kind::Box: {
        QCheckBox* box = quietBox(this);
        connect(box, &QCheckBox::clicked, this, [this, &c](bool checked) {
          if (refreshing_) return;
          optionChosen(ws_, c.choice, checked ? 1 : 0);
          after();
        });
        column->addWidget(box);
        s.boxes.push_back(box);
        break;
      }
      case Kind::Number: {
        s.heading = new QLabel(this);
        s.field = new QLineEdit(this);
        s.field->setFixedWidth(kFieldWidth);
        // Read as an unsigned integer, as typed; the shell brings it into range.
        s.field->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,6}"), s.field));
        connect(s.field, &QLineEdit::textEdited, this, [this, &c](const QString& text) {
          optionNumberTyped(ws_, c.number, text.toLong());
        });
        // Leaving the field shows the value kept.
        connect(s.field, &QLineEdit::editingFinished, this, [this] { after(); });
        auto* row = new QHBoxLayout();
        row->addWidget(s.field);
        row->addWidget(s.heading, 1);
        column->addLayout(row);
        break;
      }
      case Kind::Colour:
        s.button = colour_ = button([this] { backgroundColourButton(ws_); });
        column->addWidget(colour_, 0, Qt::AlignLeft);
        break;
      case Kind::Validate: s.button = validate_ = button([this] { validateOptionsPanel(ws_); }); break;
    }
    shown_.push_back(std::move(s));
  }
  if (column) column->addStretch(1);
  outer->addSpacing(kColumnSpacing);
  if (validate_) outer->addWidget(validate_, 0, Qt::AlignHCenter);
  outer->addStretch(1);
}

void OptionsPanel::after() {
  if (changed) changed();
}

void OptionsPanel::refresh() {
  refreshing_ = true;
  const Options& o = ws_.w.options;
  const int L = o.LANGUE;
  for (Shown& s : shown_) {
    const OptionControl& c = *s.control;
    const QString caption = QString::fromUtf8(c.caption.pick(L));
    if (s.heading) {
      s.heading->setText(caption);
      s.heading->setVisible(!caption.isEmpty());
    }
    if (s.button) s.button->setText(caption);
    if (s.field && !s.field->hasFocus()) s.field->setText(QString::number(optionNumber(o, c.number)));
    for (size_t i = 0; i < s.boxes.size(); ++i) {
      QCheckBox* box = s.boxes[i];
      const bool single = c.kind == Kind::Box;
      box->setText(single ? caption : QString::fromUtf8(c.boxes[i].caption.pick(L)));
      box->setChecked(optionBoxChecked(o, c, single ? 1 : c.boxes[i].value));
      box->setVisible(!c.englishOnly || L == kEnglish);
    }
  }
  // Texts over the background colour of the options, dark on a light one; the fields and the
  // boxes' marks keep their own colours.
  const Rgb text = panelTextColour(Rgb{o.BK_r, o.BK_g, o.BK_b});
  QPalette colours = palette();
  colours.setColor(QPalette::Window, QColor(o.BK_r, o.BK_g, o.BK_b));
  colours.setColor(QPalette::WindowText, QColor(text.r, text.g, text.b));
  if (colours != palette()) setPalette(colours);
  refreshing_ = false;
}

QLineEdit* OptionsPanel::field(OptionNumber number) const {
  for (const Shown& s : shown_)
    if (s.field && s.control->number == number) return s.field;
  return nullptr;
}

QCheckBox* OptionsPanel::box(OptionChoice choice, int value) const {
  for (const Shown& s : shown_) {
    const OptionControl& c = *s.control;
    if (s.boxes.empty() || c.choice != choice) continue;
    if (c.kind == Kind::Box) return s.boxes.front();
    for (size_t i = 0; i < c.boxes.size(); ++i)
      if (c.boxes[i].value == value) return s.boxes[i];
  }
  return nullptr;
}

bool OptionsPanel::ownsField(const QObject* widget) const {
  for (const Shown& s : shown_)
    if (s.field && s.field == widget) return true;
  return false;
}

}  // namespace quorvel
