#include "ui/results_stage.h"

#include <tuple>

#include "curves/method_commands.h"

namespace quorvel {

bool fitMethodCommand(Workstation& ws, FitCommand command) {
  const bool developer = ws.developer();
  int& method = ws.w.settings.curves.TACFIT_switch;
  const int before = method;
  bool changed = false;
  switch (command) {
    case FitCommand::NextMethod: nextTacfitMethod(method, developer), changed = method != before; break;
    case FitCommand::PreviousMethod: previousTacfitMethod(method, developer), changed = method != before; break;
    case FitCommand::MoreSetting: changed = moreTacfitSetting(ws.curves.settings, method); break;
    case FitCommand::FewerSetting: changed = fewerTacfitSetting(ws.curves.settings, method); break;
  }
  if (!changed) return false;
  std::ignore = ws.computeCurves();  // a failed fit has been shown; the command took effect
  ws.platform.pictureChanged(View::Curves);
  return true;
}

bool noiseCommand(Workstation& ws, int delta) {
  if (!changeNoise(ws.curves.vc, ws.comparison, delta)) return false;
  std::ignore = ws.computeCurves();  // a failed fit has been shown; the command took effect
  ws.platform.pictureChanged(View::Curves);
  return true;
}

}  // namespace quorvel
