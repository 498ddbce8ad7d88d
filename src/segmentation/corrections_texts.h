#pragma once
// French and English texts of the corrections by hand of the segmentation.
#include "base/language.h"

namespace quorvel::corrections_texts {

// The same text in both languages.
inline constexpr Text kRegionOverflow{"Dépassement nombre de régions !!  ", "Dépassement nombre de régions !!  "};
inline constexpr Text kLeftVentricleAbsent{"Le ventricule gauche est absent pour au moins un instant ...",
                                           "The left ventricle is absent for at least one instant ..."};
inline constexpr Text kRightVentricleAbsent{"Le ventricule droit est absent pour au moins un instant ...",
                                            "The right ventricle is absent for at least one instant ..."};

}  // namespace quorvel::corrections_texts
