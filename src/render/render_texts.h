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

// The regional analysis in the end-diastolic frame.
inline constexpr Text kSegmentalEf{"FE segment. (%)", "Segmental EF (%)"};
inline constexpr Text kSegmentalTime{"Temps au minimum (%)", "Time to minimum (%)"};
inline constexpr Text kPhaseHistogram{"Phase (VG, VD)", "Phase (LV, RV)"};
inline constexpr Text kPhaseIndices{"%s ET %.0f LB95 %.0f deg, entropie %.0f %%, sync. %.2f",
                                    "%s SD %.0f BW95 %.0f deg, entropy %.0f %%, sync. %.2f"};
inline constexpr Text kPhaseDelay{"Délai VG-VD %+.0f ms  ET temps VG %.1f %% (%.0f ms)",
                                  "LV-RV delay %+.0f ms  LV time SD %.1f %% (%.0f ms)"};
inline constexpr Text kRightSegments{"FE VD sept/libre: base %.0f/%.0f moy %.0f/%.0f apic %.0f/%.0f pointe %.0f",
                                     "RV EF sept/free basal %.0f/%.0f mid %.0f/%.0f apical %.0f/%.0f apex %.0f"};
inline constexpr Text kSegmentalLegend1{"Voxels comptés au segment du repère fixé en télédiastole,",
                                        "Voxels go to segments of a frame fixed at end-diastole;"};
inline constexpr Text kSegmentalLegend2{"les segments font la courbe globale. Temps en % du cycle.",
                                        "segments add up to the global curve. Times: % of cycle."};
inline constexpr Text kSegmentalUnavailable{"Analyse segmentaire indisponible", "Segmental analysis unavailable"};
inline constexpr Text kTrendTitle{"FE (%) par examen, intervalles à 95 %", "EF (%) per exam, 95 % intervals"};
inline constexpr Text kTrendKey{"VG bleu, VD orange, limite en rouge", "LV blue, RV orange, limit red"};
inline constexpr Text kLeftShort{"VG", "LV"};
inline constexpr Text kRightShort{"VD", "RV"};

}  // namespace quorvel::render_texts
