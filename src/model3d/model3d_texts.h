#pragma once
// French and English texts of the 3D model: map titles, result texts, picked-curve captions and
// the notes on the valve planes and the regional curves.
#include "base/language.h"

namespace quorvel::model3d_texts {

inline constexpr Text kWaitTitle{"Calcul du modèle 3D ...", "Computing the 3D model ..."};

// Legend of the displayed map, by mesh_visu.
inline constexpr Text kMapTitles[6] = {
    {"Fraction d'éjection systolique (%)", "Systolic ejection fraction (%)"},
    {"Temps de fin de systole (ms)", "Time of end systole (ms)"},
    {"Débit d'éjection max. (vol. télédiastol. / s)", "Peak ejection rate (telediastol. vol. / s)"},
    {"Temps de débit d'éjection max (ms)", "Time of peak ejection rate (ms)"},
    {"Débit de remplissage max. (vol. télédiastol. / s)", "Peak filling rate (telediastol. vol. / s)"},
    {"Temps de débit de remplissage max. (ms)", "Time of peak filling rate (ms)"},
};

// Result texts; [0] the right-ventricle control, [1] the left one.
inline constexpr Text kFej{"FES", "SEF"};
inline constexpr const char* kFejSuffix[2] = {" (%)    :    ", " (%)   :    "};
inline constexpr const char* kIntValues = "%d   +/-   %d\n";
inline constexpr Text kTej[2] = {{"TFS (ms)    :    %d   +/-   %d\n\n", "TES (ms)    :    %d   +/-   %d\n\n"},
                                 {"TFS (ms)   :    %d   +/-   %d\n\n", "TES (ms)   :    %d   +/-   %d\n\n"}};
inline constexpr Text kPer{"DEM (vol td / s)   :   %2.2f  +/-  %2.2f\n", "PER (td vol / s)   :   %2.2f  +/-  %2.2f\n"};
inline constexpr Text kTper{"t-DEM (ms)    :    %d   +/-   %d\n\n", "t-PER (ms)    :    %d   +/-   %d\n\n"};
inline constexpr Text kPfr{"DRM (vol td / s)   :   %2.2f  +/-  %2.2f\n", "PFR (td vol / s)   :   %2.2f  +/-  %2.2f\n"};
inline constexpr Text kTpfr{"t-DRM (ms)    :    %d   +/-   %d\n\n", "t-PFR (ms)    :    %d   +/-   %d\n\n"};

// Caption of the picked-point curve, by map group.
inline constexpr Text kCurveFej{"FES = %d ", "SEF = %d "};
inline constexpr Text kCurveTej{"     -     TFS = %d ms", "     -     TES = %d ms"};
inline constexpr Text kCurvePer{"DEM = %2.2f vtd/s", "PER = %2.2f tdv/s"};
inline constexpr Text kCurveTper{"     -     t-DEM = %d ms", "     -     t-PER = %d ms"};
inline constexpr Text kCurvePfr{"DRM = %2.2f vtd/s", "PFR = %2.2f tdv/s"};
inline constexpr Text kCurveTpfr{"     -     t-DRM = %d ms", "     -     t-PFR = %d ms"};

// Where the valve planes came from and how many regional curves missed the ventricle.
inline constexpr Text kValveVoxels{"Plan valvulaire : voxels valvulaires\n", "Valve plane : valve voxels\n"};
inline constexpr Text kValveLine{"Plan valvulaire : ligne des valves aux instants %s\n",
                                 "Valve plane : valve line at instants %s\n"};
inline constexpr Text kValveLineCycle{
    "Plan valvulaire : ligne des valves (trop peu de voxels valvulaires à un instant au moins : %s)\n",
    "Valve plane : valve line (too few valve voxels at one instant at least : %s)\n"};
inline constexpr Text kApexFarthest{"Apex : voxels les plus éloignés aux instants %s (curseur C/S au maximum)\n",
                                    "Apex : farthest voxels at instants %s (C/S slider at its top)\n"};
inline constexpr Text kApexKept{
    "Apex : position précédente gardée aux instants %s (aucun voxel au-delà du plan valvulaire)\n",
    "Apex : previous position kept at instants %s (no voxel beyond the valve plane)\n"};
inline constexpr Text kEmptyCurves{"Courbes vides : %d / %d\n", "Empty curves : %d / %d\n"};
inline constexpr Text kFailedFits{"Ajustements régionaux refusés : %d / %d\n", "Regional fits refused : %d / %d\n"};
inline constexpr Text kEmptyWarning{
    "Attention : plus de 1 % des courbes régionales ne rencontrent pas le ventricule !\n",
    "Warning : more than 1 % of the regional curves meet no voxel of the ventricle !\n"};

}  // namespace quorvel::model3d_texts
