#pragma once
// French and English texts of the rule that keeps results current.
#include "base/language.h"

namespace quorvel::derived_texts {

inline constexpr Text kSegmentationOutOfDate{
    "Les comptages ont changé depuis la segmentation : validez de nouveau la vue petit axe (Entrée) pour segmenter.",
    "The counts changed since the segmentation: validate the short-axis view again (Enter) to segment anew."};
inline constexpr Text kSegmentationMissing{"Effectuez au préalable une segmentation ...       ",
                                           "Segmentation must be done ...       "};
inline constexpr Text kModelOutOfDate{
    "Les résultats 3D ne correspondent plus à la segmentation ou aux réglages : relancez l'analyse segmentaire "
    "(Actualiser > Analyse segmentaire).",
    "The 3D results no longer match the segmentation or the settings: run the segmental analysis again (Update > "
    "Segmental analysis)."};
inline constexpr Text kModelNotSaved{
    "Les résultats 3D ne correspondaient plus à la segmentation ou aux réglages : l'examen est enregistré "
    "sans eux.",
    "The 3D results no longer matched the segmentation or the settings: the exam is saved without them."};
inline constexpr Text kExamNeedsSegmentation{
    "Un examen garde une segmentation, que le mode reprojection ne fait pas : exportez le compte-rendu, ou quittez "
    "le mode (menu Options).",
    "An exam keeps a segmentation, which the reprojection mode does not make: export the report, or leave the mode "
    "(Options menu)."};
inline constexpr Text kExamOutsideReprojection{
    "Quittez le mode reprojection (menu Options) pour ouvrir un examen : il garde une segmentation.",
    "Leave the reprojection mode (Options menu) to open an exam: it keeps a segmentation."};
inline constexpr Text kCropAfterValidation{
    "Le cadrage du fichier ne se déplace qu'avant la première validation : rouvrez l'acquisition pour le changer.",
    "The file window moves only before the first view is validated: open the acquisition again to move it."};
inline constexpr Text kUncertaintyOutOfDate{
    "Les résultats ont changé depuis le calcul de leur incertitude : calculez-la de nouveau (Actualiser > "
    "Incertitude des résultats).",
    "The results changed since their uncertainty was measured: measure it again (Update > Uncertainty of the "
    "results)."};
inline constexpr Text kSerialOutOfDate{
    "Les résultats ont changé depuis la comparaison aux examens antérieurs : comparez-les de nouveau.",
    "The results changed since they were compared with earlier exams: compare them again."};
inline constexpr Text kIntervalNote{"   IC 95 %% : %.1f à %.1f %%, VTD %.0f à %.0f cc",
                                    "   95 %% CI: %.1f to %.1f %%, EDV %.0f to %.0f cc"};
inline constexpr Text kCountingOnly{" (comptage seul)", " (counting only)"};
inline constexpr Text kUncertaintyProgress{
    "Mesure de l'incertitude : %d / %d analyses (Actualiser > Arrêter la mesure)",
    "Measuring the uncertainty: %d / %d analyses (Update > Stop measuring)"};
inline constexpr Text kUncertaintyMeasured{"Incertitude des résultats mesurée (%d analyses%s).",
                                           "Uncertainty of the results measured (%d analyses%s)."};
inline constexpr Text kUncertaintyCountingOnly{", comptage seul : étapes de ré-orientation validées plusieurs fois "
                                               "ou acquisition introuvable",
                                               ", counting only: re-orientation steps validated more than once or "
                                               "acquisition not found"};
inline constexpr Text kUncertaintyStopped{"Mesure de l'incertitude arrêtée.", "Uncertainty measurement stopped."};
inline constexpr Text kUncertaintyFailed{"L'incertitude n'a pas pu être mesurée (%d analyses ont échoué).",
                                         "The uncertainty could not be measured (%d analyses failed)."};
inline constexpr Text kUncertaintyNeedsResults{
    "L'incertitude se mesure sur les résultats affichés : ouvrez l'étape Résultats (hors mode reprojection).",
    "The uncertainty is measured on the results shown: open the Results stage (outside the reprojection mode)."};

}  // namespace quorvel::derived_texts
