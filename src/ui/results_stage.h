#pragma once
// Commands of the results stage: the fitting method and its setting, and the developer noise.
// Each refits both curves at once and redraws.
#include "ui/workstation.h"

namespace quorvel {

enum class FitCommand { NextMethod, PreviousMethod, MoreSetting, FewerSetting };
// False when the command changed nothing (no refit).
bool fitMethodCommand(Workstation& ws, FitCommand command);

// Developer noise on the measured volumes: delta 0 draws it again at the same level, +1 / -1
// changes the level by 10 first. False when the level cannot go lower.
bool noiseCommand(Workstation& ws, int delta);

}  // namespace quorvel
