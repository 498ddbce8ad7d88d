#pragma once
// French and English texts of the study subsystem.
#include "base/language.h"

namespace quorvel::study_texts {

inline constexpr Text kBadDicom{"   Fichier DICOM inapproprié !   ", "   Unhandled DICOM file !   "};
// The decoding failure; the file is refused and the program goes on.
inline constexpr Text kDecodeFailure{
    "Problème de décodage du fichier Dicom.\nCode erreur : R-VR\nVeuillez contacter les auteurs en joignant le "
    "fichier Dicom",
    "Problem when decoding the Dicom file\nError code: R-VR\nPlease contact the authors and join the dcm file"};
inline constexpr Text kTimeSlotsFixed{"Nombre d'instants fixé à %d", "Number of time slots fixed to %d"};
inline constexpr Text kTooManySlices{"Nombre de coupes trop élevé (%d). Max. = %d.",
                                     "Number of slices too high (%d). Max. = %d."};
inline constexpr Text kInstants{"Le nombre d'instants doit être 8 ou 16 !", "Le nombre d'instants doit être 8 ou 16 !"};
inline constexpr Text kBadVoxelSize{
    "Taille des voxels absente ou invalide dans le fichier :\nles volumes ne peuvent pas être calculés.",
    "Voxel size missing or invalid in the file:\nvolumes cannot be computed."};
inline constexpr Text kBadRescale{
    "Mise à l'échelle des valeurs (Rescale Slope / Intercept) invalide dans le fichier.",
    "Invalid rescale of the values (Rescale Slope / Intercept) in the file."};
inline constexpr Text kBadFrameCount{"Nombre d'images invalide dans le fichier (%s).",
                                     "Invalid number of frames in the file (%s)."};
inline constexpr Text kFrameMismatch{
    "Nombre d'images du fichier (%s) différent du nombre d'instants x nombre de coupes (%d x %d).",
    "Number of frames in the file (%s) differs from time slots x slices (%d x %d)."};
inline constexpr Text kBadHeartRate{
    "Fréquence cardiaque invalide dans le fichier (%s) : elle doit être indiquée.",
    "Invalid heart rate in the file (%s): it must be given."};
inline constexpr Text kNoCounts{"L'étude ne contient aucun comptage : elle ne peut pas être analysée.",
                                "The study holds no counts: it cannot be analysed."};
inline constexpr Text kUnreadableFile{"Fichier illisible :\n%s", "Cannot read the file:\n%s"};
inline constexpr Text kFormatNotAvailable{"Ce format de fichier n'est pas encore pris en charge.",
                                          "This file format is not supported yet."};

inline constexpr Text kBadIdb{"   Fichier IDB invalide !   ", "   Unhandled IDB file !   "};
inline constexpr Text kNoHeaderFile{"   Fichier d'en-tête introuvable !   ", "   No header file !   "};
inline constexpr Text kMissingHeaderInformation{"   Informations manquantes dans le fichier d'en-tête !   ",
                                                "   Missing information in the header file !   "};
inline constexpr Text kInterfileInstants{
    "Le fichier de données ne contient ni 8 ni 16 instants de %d coupes, et n'est pas un instant d'une série "
    "numérotée (...01, ...02, ...) :\n%s",
    "The data file holds neither 8 nor 16 instants of %d slices, nor one instant of a numbered series (...01, "
    "...02, ...):\n%s"};
inline constexpr Text kInterfileFirstInstant{"Le fichier du premier instant de cette série est introuvable :\n%s",
                                             "The file of this series' first instant cannot be found:\n%s"};
inline constexpr Text kUnsupportedInterfile{
    "Données Interfile non prises en charge : images de 64 x 64 entiers de 16 bits attendues.",
    "Unsupported Interfile data: images of 64 x 64 16-bit integers expected."};

inline constexpr Text kOpenCancelled{"Aucun fichier choisi.", "No file chosen."};
inline constexpr Text kOpenTitle{"Ouvrir une Acquisition", "Open an Acquisition"};
inline constexpr Text kFilterDicom{"fichier DICOM", "DICOM file"};
inline constexpr Text kFilterIdb{"fichier IDB", "IDB file"};
inline constexpr Text kFilterInterfile{"Interfile", "Interfile"};
inline constexpr Text kFilterIma{"Fichier IMA", "IMA file"};
inline constexpr Text kFilterAll{"Tous les fichiers", "All files"};

inline constexpr Text kSliceCounter{"Coupes (%d)", "Slices (%d)"};
inline constexpr Text kLowHeartRate{"PROBLEME :: Fréquence cardiaque inférieure à 12 bpm ?",
                                    "PROBLEM :: Cardiac frequency lower than 12 bpm ?"};
inline constexpr Text kTitleFemale{"Mme/Mlle ", "Mrs/Ms "};
inline constexpr Text kTitleMale{"Mr ", "Mr "};
inline constexpr Text kComment{"Commentaires : ", "Comments : "};

// The short-axis folder reformat.
inline constexpr Text kReformatFolder{"Veuillez indiquer le dossier contenant les coupes petit axe",
                                      "Please indicate the folder with the short axis slices"};
inline constexpr Text kReformatSave1{"\n\nVeuillez enregistrer le fichier dicom résultant\n\n",
                                     "\n\nSave the resulting dicom file\n\n"};
inline constexpr Text kReformatSave2{"!!  Veillez à ne pas le sauvegarder dans le répertoire des coupes SA  !!\n\n",
                                     "!!  Do not save it in the SA slices directory  !!\n\n"};
inline constexpr Text kReformatSave3{
    "Ce fichier concaténé sera désormais directement exploitable en lieu et place des coupes SA     \n\n",
    "This concatenated file will henceforth be directely available in place of the SA slices     \n\n"};
inline constexpr Text kReformatSaveTitle{"Enregistrer le fichier dicom résultant", "Save the resulting dicom file"};
inline constexpr Text kReformatFilter{"DCM file", "DCM file"};
inline constexpr Text kSlicesProcessed{"Coupes traitées : %d sur %d\n", "Slices processed : %d of %d\n"};
inline constexpr Text kNoDicomInFolder{"Aucun fichier dicom dans le répertoire spécifié",
                                       "No dicom file in the specified directory"};
inline constexpr Text kReformatEmpty{
    "Aucune coupe ne trouve sa place dans le volume : numéros d'instance de 1 à %d attendus, de %d à %d trouvés.",
    "No slice finds its place in the volume: instance numbers 1 to %d expected, %d to %d found."};
inline constexpr Text kDuplicateInstance{"Deux fichiers portent le numéro d'instance %d :\n%s\n%s",
                                         "Two files carry instance number %d:\n%s\n%s"};
inline constexpr Text kReformatNotWritten{"Impossible d'écrire le fichier :\n%s", "Cannot write the file:\n%s"};

}  // namespace quorvel::study_texts
