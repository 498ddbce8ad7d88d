#include "curves/tacfit.h"

#include <stdexcept>

#include "base/language.h"

namespace quorvel {

int fitSelectedMethod(int TACFIT_switch, const TacFitSettings& set, TacFitWork& s, const double* tacfit_arg,
                    const FitContext& ctx, bool developer) {
  switch (TACFIT_switch) {
    case kTacFitRef:
      if (!developer) throw std::invalid_argument("fit method 0 is a developer-mode method");
      return TACFIT_REF(s.voc, tacfit_arg, ctx.Ninst);
    case kTacFitNew: return TACFIT_NEW(s, set.TACFIT_ITER, tacfit_arg, ctx);
    case kMultiHarmonique: return MULTI_HARMONIQUE(s, set.CMH_DEG, tacfit_arg, ctx);
    case kTacFitAlt: return TACFIT_ALT(s, tacfit_arg, set.TACFIT_ITmax, ctx);
    case kTacFitAffine: return TACFIT_AFFINE(s, tacfit_arg, ctx);
    case kTacFitSplines: return TACFIT_SPLINES(s, tacfit_arg, ctx);
    default: throw std::invalid_argument("unknown fit method");
  }
}

std::string tacfitMethodLabel(int TACFIT_switch, const TacFitSettings& set, int LANGUE) {
  static constexpr Text kLabels[kTacFitMethods] = {
      {"Méthode : courbe de référence", "Method : reference curve"},
      {"Méthode : courbe de référence (%d it.)", "Method : reference curve (%d it.)"},
      {"Méthode : fit multi-harmonique (%d h.)", "Method : multi-harmonic fitting (%d h.)"},
      {"Méthode : fit polynomial (%d it.)", "Method : polynomial fitting (%d it.)"},
      {"Méthode : fit affine", "Méthod : affine fitting"},
      {"Méthode : fit par splines", "Méthod : splines fitting"},
  };
  switch (TACFIT_switch) {
    case kTacFitNew: return format(kLabels[1].pick(LANGUE), set.TACFIT_ITER);
    case kMultiHarmonique: return format(kLabels[2].pick(LANGUE), set.CMH_DEG);
    case kTacFitAlt: return format(kLabels[3].pick(LANGUE), set.TACFIT_ITmax);
    case kTacFitRef:
    case kTacFitAffine:
    case kTacFitSplines: return kLabels[TACFIT_switch].pick(LANGUE);
    default: return {};
  }
}

}  // namespace quorvel
