#pragma once
// French and English texts of the automatic placement's refusals and warnings.
#include "base/language.h"

namespace quorvel::placement_texts {

inline constexpr Text kNoStudy{"Aucune étude chargée : pas de placement automatique.",
                               "No study loaded: no automatic placement."};
inline constexpr Text kNoVoxelSize{"Taille des voxels inconnue : pas de placement automatique.",
                                   "Unknown voxel size: no automatic placement."};
inline constexpr Text kNoCounts{"L'étude ne contient aucun coup : pas de placement automatique.",
                                "The study holds no counts: no automatic placement."};
inline constexpr Text kNoBeat{"Aucune structure ne bat au-dessus du bruit : les ventricules ne peuvent pas être placés.",
                              "Nothing beats above the noise: the ventricles cannot be placed."};
inline constexpr Text kNoVentricles{
    "Les structures qui battent ne forment pas deux ventricules au-dessus d'un plan valvulaire : placement "
    "automatique impossible.",
    "The beating structures do not form two ventricles above a valve plane: no automatic placement."};

inline constexpr Text kWeakBeat{"battement faible devant le bruit", "weak beat against the noise"};
inline constexpr Text kShallowSeptum{"septum peu marqué : vérifier la ligne du septum",
                                     "faint septum: check the septum line"};
inline constexpr Text kSquareAtEdge{"cœur au bord de la coupe : vérifier le carré", "heart at the slice's edge: check the square"};
inline constexpr Text kSquareFull{"ventricules plus grands que le carré : vérifier le cadrage",
                                  "ventricles larger than the square: check the framing"};
inline constexpr Text kTiltAtLimit{"inclinaison du plan valvulaire à sa limite : vérifier le plan valvulaire",
                                   "valve plane tilt at its limit: check the valve plane"};
inline constexpr Text kLaterLook{
    "la première proposition omettait un ventricule : celle-ci vient d'une vue plus lissée, vérifier le placement",
    "the first proposal left a ventricle out: this one comes from a smoother look, check the placement"};

inline constexpr Text kLowConfidence{
    "Placement automatique peu sûr (confiance %.2f) : vérifiez le carré, les lignes et l'inclinaison.",
    "Automatic placement of low confidence (%.2f): check the square, the lines and the tilt."};

// The ejection fraction moves much when the placement moves a little (standard uncertainty, points).
inline constexpr Text kLeftEfSensitive{
    "Ventricule gauche : sa fraction d'éjection varie de %.1f points (écart type) pour un placement déplacé d'un "
    "voxel ou de 3° : vérifiez le carré, les lignes et l'inclinaison.",
    "Left ventricle: its ejection fraction moves by %.1f points (SD) for a placement moved by one voxel or 3°: "
    "check the square, the lines and the tilt."};
inline constexpr Text kRightEfSensitive{
    "Ventricule droit : sa fraction d'éjection varie de %.1f points (écart type) pour un placement déplacé d'un "
    "voxel ou de 3° : vérifiez le carré, les lignes et l'inclinaison.",
    "Right ventricle: its ejection fraction moves by %.1f points (SD) for a placement moved by one voxel or 3°: "
    "check the square, the lines and the tilt."};
inline constexpr Text kBothEfSensitive{
    "Ventricules gauche et droit : leurs fractions d'éjection varient de %.1f et %.1f points (écart type) pour un "
    "placement déplacé d'un voxel ou de 3° : vérifiez le carré, les lignes et l'inclinaison.",
    "Left and right ventricles: their ejection fractions move by %.1f and %.1f points (SD) for a placement moved by "
    "one voxel or 3°: check the square, the lines and the tilt."};

}  // namespace quorvel::placement_texts
