#include "curves/method_commands.h"

namespace quorvel {

namespace {
constexpr int kIterationStep = 5;
constexpr int kMaxHarmonics = 4;
}  // namespace

void nextTacfitMethod(int& TACFIT_switch, bool developer) {
  TACFIT_switch = (TACFIT_switch + 1) % kTacFitMethods;
  if (!developer && TACFIT_switch == kTacFitRef) TACFIT_switch = kTacFitNew;
}

void previousTacfitMethod(int& TACFIT_switch, bool developer) {
  TACFIT_switch = (TACFIT_switch + kTacFitMethods - 1) % kTacFitMethods;
  if (!developer && TACFIT_switch == kTacFitRef) TACFIT_switch = kTacFitSplines;
}

bool moreTacfitSetting(TacFitSettings& s, int TACFIT_switch) {
  switch (TACFIT_switch) {
    case kTacFitNew: s.TACFIT_ITER += kIterationStep; return true;
    case kMultiHarmonique:
      if (s.CMH_DEG >= kMaxHarmonics) return false;
      ++s.CMH_DEG;
      return true;
    case kTacFitAlt: s.TACFIT_ITmax += kIterationStep; return true;
    default: return false;
  }
}

bool fewerTacfitSetting(TacFitSettings& s, int TACFIT_switch) {
  switch (TACFIT_switch) {
    case kTacFitNew:
      if (s.TACFIT_ITER <= 0) return false;
      s.TACFIT_ITER -= kIterationStep;
      return true;
    case kMultiHarmonique:
      if (s.CMH_DEG <= 1) return false;
      --s.CMH_DEG;
      return true;
    case kTacFitAlt:
      if (s.TACFIT_ITmax <= 0) return false;
      s.TACFIT_ITmax -= kIterationStep;
      return true;
    default: return false;
  }
}

}  // namespace quorvel
