#pragma once
// French and English texts of the re-orientation stage.
#include "base/language.h"

namespace quorvel::reorient_texts {

inline constexpr Text kRecordsFull{
    "Nombre maximal de validations atteint pour cette étude (100).\nLa validation n'a pas été appliquée.\n"
    "Veuillez rouvrir l'acquisition pour recommencer la réorientation.",
    "Maximum number of validations reached for this study (100).\nThe validation was not applied.\n"
    "Please reopen the acquisition to start the re-orientation again."};
inline constexpr Text kBadRecord{
    "Étape de réorientation enregistrée invalide : elle n'a pas été rejouée.",
    "Invalid recorded re-orientation step: it was not replayed."};
inline constexpr Text kNoVoxelSize{
    "Taille des voxels inconnue : l'inclinaison du plan des valves ne peut pas être appliquée.",
    "Unknown voxel size: the tilt of the valves plane cannot be applied."};

}  // namespace quorvel::reorient_texts
