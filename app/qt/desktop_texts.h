#pragma once
// French and English texts of the desktop's own widgets.
#include "base/language.h"

namespace quorvel::desktop_texts {

inline constexpr Text kHeartRateLabel{"Fréquence cardiaque (bpm) :", "Cardiac frequency (bpm) :"};
inline constexpr Text kThreshold{"Seuil (%)", "Threshold (%)"};
inline constexpr Text kViewNotBuilt{"Cette vue n'est pas encore disponible dans cette version.",
                                    "This view is not available in this version yet."};
inline constexpr Text kCancel{"Annuler", "Cancel"};
// The 3D stages' controls.
inline constexpr Text kSliderCs{"C/S : transition cylindre / sphère", "C/S : cylinder / sphere transition"};
inline constexpr Text kSliderCr{"Cr : courbure du squelette", "Cr : skeleton curvature"};
inline constexpr Text kBothVentricles{"Les deux", "Both"};
inline constexpr Text kBullseyePage{"Polaires", "Bull's-eyes"};
inline constexpr Text kSegmentalPage{"Segments", "Segments"};

}  // namespace quorvel::desktop_texts
