#pragma once
// French and English texts of the stage machine.
#include "base/language.h"

namespace quorvel::shell_texts {

inline constexpr Text kNotAvailable{"Cette commande n'est pas encore disponible dans cette version.",
                                    "This command is not available in this version yet."};
inline constexpr Text kOpenDataFirst{"Ouvrez d'abord des données ...       ", "Open data first ...       "};
inline constexpr Text kSegmentationFirst{"Effectuez au préalable une segmentation ...       ",
                                         "Segmentation must be done ...       "};
inline constexpr Text kScreenTooSmall{
    "Veuillez augmenter la résolution de votre écran à un minimum de 1024 x 768 puis relancez Quorvel ...",
    "Please boost your screen resolution to at least 1024 x 768 or higher then reboot Quorvel..."};
inline constexpr Text kNoWriteAccess{
    "Veuillez autoriser l'accès en écriture du répertoire d'exécution\nainsi que du sous-répertoire /temp\npuis "
    "relancez Quorvel ...",
    "Please allow writing access to the application folder\nand to the sub-folder /temp\nthen reboot Quorvel..."};
inline constexpr Text kQuitQuestion{"Vous êtes sur le point de quitter Quorvel, veuillez confirmer ...   ",
                                    "You are about to quit Quorvel, please confirm ...   "};
inline constexpr Text kOnly17Sectors{"Uniquement disponible pour la segmentation du ventricule en 17 secteurs",
                                     "Available only when ventricle segmentation is set to 17 sectors"};
inline constexpr Text kGuideMissing{"Manuel d'utilisation introuvable :\n%s", "User's guide not found:\n%s"};
inline constexpr Text kGuideNoViewer{
    "Aucun navigateur n'a pu ouvrir le manuel d'utilisation. Ouvrez ce fichier dans un navigateur :\n%s",
    "No web browser could open the user's guide. Open this file in a browser:\n%s"};
inline constexpr Text kAbout{"Quorvel %d.%d.%d\nAnalyse de la tomoscintigraphie cavitaire synchronisée",
                             "Quorvel %d.%d.%d\nAnalysis of gated blood-pool tomoscintigraphy"};
inline constexpr Text kStartupTitle{"Quorvel", "Quorvel"};

// The reprojection mode: its menu item, the window title's mark, the confirmation of a switch.
inline constexpr Text kReprojectionMode{"Mode reprojection", "Reprojection mode"};
inline constexpr Text kReprojectionTitle{"[mode reprojection]", "[reprojection mode]"};
inline constexpr Text kModeLosesWork{
    "Changer de mode reprend l'étude depuis son ouverture : la ré-orientation, la segmentation et les résultats "
    "en cours seront perdus. Continuer ?",
    "Changing the mode takes the study back to its opening: the current re-orientation, segmentation and results "
    "will be lost. Continue?"};

// The confirmation of the 3D computation.
inline constexpr Text kAxialSampling{"Ech. Ax. = %d\n", "Ax. sampling = %d\n"};
inline constexpr Text kAngularSampling{"Ech. Ang. = %d\n\n", "Ang. sampling = %d\n\n"};
inline constexpr Text kMethodReference{"Méthode  :  courbe de référence ( %d it. )\n\n",
                                       "Method  :  reference curve ( %d it. )\n\n"};
inline constexpr Text kMethodHarmonic{"Méthode  :  fit harmonique ( %d harm. )\n\n",
                                      "Method  :  harmonic fitting ( %d harm. )\n\n"};
inline constexpr Text kMethodPolynomial{"Méthode  :  fit polynomial ( %d it. )\n\n",
                                        "Method  :  polynomial fitting ( %d it. )\n\n"};
inline constexpr Text kMethodAffine{"Méthode  :  fit affine\n\n", "Method  :  affine fitting\n\n"};
inline constexpr Text kMethodSplines{"Méthode  :  fit par splines\n\n", "Method  :  splines fitting\n\n"};

// Menus.
inline constexpr Text kMenuFile{"Fichier", "File"};
inline constexpr Text kMenuDisplay{"Affichage", "Display"};
inline constexpr Text kMenuUpdate{"Actualiser", "Update"};
inline constexpr Text kMenuOptions{"Options", "Options"};
inline constexpr Text kMenuHelp{"Aide", "Help"};
inline constexpr Text kStepHorizontal{"Grand axe horizontal", "Horizontal long axis"};
inline constexpr Text kStepVertical{"Grand axe vertical", "Vertical long axis"};
inline constexpr Text kStepShort{"Petit axe", "Short axis"};
inline constexpr Text kStepDone{"Vue validée. Étape suivante : %s (Tab ou son bouton).",
                                "View validated. Next step: %s (Tab or its button)."};
inline constexpr Text kModelQuestionTitle{"Calculer le modèle 3D avec ces réglages ?",
                                          "Compute the 3D model with these settings?"};
inline constexpr Text kAutoPlacement{"Placement automatique", "Automatic placement"};
inline constexpr Text kCompareExamsCommand{"Comparer aux examens antérieurs…", "Compare with earlier exams…"};
inline constexpr Text kUncertaintyCommand{"Incertitude des résultats (IC 95 %)",
                                         "Uncertainty of the results (95 % CI)"};
inline constexpr Text kStopUncertaintyCommand{"Arrêter la mesure de l'incertitude", "Stop measuring the uncertainty"};
inline constexpr Text kPlacementOnOpen{"Placement automatique à l'ouverture", "Automatic placement on opening"};
inline constexpr Text kPlacementProposed{
    "Placement automatique proposé (battement/bruit %.0f, vallée septale %.0f %%) : vérifiez chaque étape avant de "
    "la valider.",
    "Automatic placement proposed (beat/noise %.0f, septal valley %.0f %%): check each step before validating it."};
inline constexpr Text kPlacementCheck{" À vérifier : ", " To check: "};
inline constexpr Text kPlaceByHand{" Placez le carré à la main.", " Place the square by hand."};

}  // namespace quorvel::shell_texts
