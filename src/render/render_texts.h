#pragma once
// French and English texts of the pictures' captions and cursor readouts.
#include "base/language.h"

namespace quorvel::render_texts {

inline constexpr Text kCaptionSlice{"Instant : %d / %d    -    Coupe : %d / %d",
                                    "Instant : %d / %d    -    Slice : %d / %d"};
inline constexpr Text kCaptionProjection{"Instant : %d / %d    -    Projection", "Instant : %d / %d    -    Projection"};
inline constexpr Text kCaptionInstant{"Instant : %d / %d", "Instant : %d / %d"};
inline constexpr Text kPreviewSettings{"Contraste %d  -  Luminosité %d  -  Maillage %d  -  Lissage %d",
                                       "Contrast %d  -  Luminosity %d  -  Mesh %d  -  Smoothing %d"};
inline constexpr Text kLeftVentricle{"Ventricule gauche", "Left ventricle"};
inline constexpr Text kRightVentricle{"Ventricule droit", "Right ventricle"};
inline constexpr Text kOtherStructures{"Autres structures", "Other structures"};
inline constexpr Text kExcluded{"Exclu", "Excluded"};
inline constexpr Text kCurveCursor{"%2.0f ms  -  %2.0f cc", "%2.0f ms  -  %2.0f cc"};

}  // namespace quorvel::render_texts
