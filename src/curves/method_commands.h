#pragma once
// Commands of the results stage that change the fitting method or its setting. The caller then
// recomputes the volume curves.
#include "curves/tacfit.h"

namespace quorvel {

// Next / previous method; outside developer mode the reference-curve method (0) is skipped, so
// the user cycles through methods 1 to 5.
void nextTacfitMethod(int& TACFIT_switch, bool developer);
void previousTacfitMethod(int& TACFIT_switch, bool developer);
// More / fewer iterations (methods 1 and 3, by 5) or harmonics (method 2, within 1..4).
// False when the method has no setting or it is already at its limit.
bool moreTacfitSetting(TacFitSettings& s, int TACFIT_switch);
bool fewerTacfitSetting(TacFitSettings& s, int TACFIT_switch);

}  // namespace quorvel
