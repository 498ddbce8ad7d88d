#pragma once
// French and English texts of the segmentation stage.
#include "base/language.h"

namespace quorvel::segmentation_texts {

// The first line is the same in both languages; the advice that follows is ours.
inline constexpr Text kTooManyRegions{
    "Dépassement nombre de régions !!  \n\nLa segmentation a été interrompue et l'étude laissée telle qu'elle "
    "était.\nAugmentez le seuil ou diminuez l'échantillonnage (nombre de niveaux), puis validez à nouveau.",
    "Dépassement nombre de régions !!  \n\nThe segmentation was stopped and the study left as it was.\nRaise the "
    "threshold or lower the sampling (number of levels), then validate again."};
inline constexpr Text kFitFailed{
    "Le calcul de la courbe de volume a échoué avec cette méthode.\nChoisissez une autre méthode d'ajustement.",
    "The volume curve could not be computed with this method.\nPlease choose another fitting method."};
inline constexpr Text kSegmentationMissing{"Effectuez au préalable une segmentation ...       ",
                                           "Segmentation must be done ...       "};
inline constexpr Text kNoRegion{"Aucune région sous le curseur.", "No region under the cursor."};
inline constexpr Text kSegmenting{"Segmentation en cours ...", "Segmentation in progress ..."};
inline constexpr Text kSegmentationCancelled{"Segmentation interrompue : l'étude est restée telle qu'elle était.",
                                             "Segmentation cancelled: the study was left as it was."};
// Results that cannot be true, one line per ventricle: the name, each reason, the conclusion.
inline constexpr Text kLeftVentricle{"Ventricule gauche :", "Left ventricle:"};
inline constexpr Text kRightVentricle{"Ventricule droit :", "Right ventricle:"};
inline constexpr Text kTouchesSquareEdge{" la segmentation touche le bord du carré de réorientation ;",
                                         " the segmentation touches the edge of the re-orientation square;"};
inline constexpr Text kEjectionAfterSystole{" le pic d'éjection (%d ms) suit la fin de systole (%d ms) ;",
                                            " the peak ejection (%d ms) comes after the end of systole (%d ms);"};
inline constexpr Text kAtrialActivityInside{
    " une activité qui bat à contretemps (une oreillette ?) est comptée dans le ventricule : vérifiez le plan des valves ;",
    " activity beating against it (an atrium?) is counted in the ventricle: check the valves plane;"};
inline constexpr Text kRestingVolume{
    " son volume ne bat presque pas (un organe au repos ?) : vérifiez la ligne du septum et le carré ;",
    " its volume hardly beats (an organ at rest?): check the septum line and the square;"};
inline constexpr Text kResultsNotTrusted{" les résultats ne sont pas fiables.", " the results cannot be trusted."};
inline constexpr Text kReprojectionEmpty{
    "La projection est nulle partout au-dessus du plan des valves : déplacez le plan ou vérifiez l'étude.",
    "The projection is zero everywhere above the valves plane: move the plane or check the study."};
inline constexpr Text kReprojectionNoCurve{
    "Aucun comptage dans le ventricule gauche reprojeté : placez le point de départ sur le ventricule.",
    "No counts in the reprojected left ventricle: place the seed on the ventricle."};
inline constexpr Text kUpdateSegmentation{"Actualiser la segmentation ?", "Update segmentation ?"};

}  // namespace quorvel::segmentation_texts
