#pragma once
// The options panel (stage 5) as data: every control with its captions, in the order the panel
// shows them, for the front ends to lay out. The values shown are read from the options; a
// control's change goes to the shell (optionNumberTyped, optionChosen, backgroundColourButton) and
// Enter or the validate button validate the panel.
#include <vector>

#include "base/language.h"
#include "exam/options_file.h"

namespace quorvel {

struct OptionBox {
  Text caption;
  int value;  // the value checking this box chooses
};

struct OptionControl {
  enum class Kind {
    Boxes,     // one box per value under a heading, exactly the chosen one checked
    Box,       // a single box: checked 1, unchecked 0
    Number,    // a number field, brought into range as typed
    Colour,    // the background colour button
    Validate,  // the validation button
  };
  Kind kind;
  Text caption;  // heading, box, field or button caption (empty: none)
  OptionChoice choice = OptionChoice::Language;
  OptionNumber number = OptionNumber::Sampling;
  std::vector<OptionBox> boxes = {};
  bool englishOnly = false;  // shown in the English panel only
};

const std::vector<OptionControl>& optionsPanel();

// Whether a box shows checked for these options.
bool optionBoxChecked(const Options& o, const OptionControl& control, int value);

}  // namespace quorvel
