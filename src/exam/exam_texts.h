#pragma once
// French and English texts of the exam files, templates and options.
#include "base/language.h"

namespace quorvel::exam_texts {

inline constexpr Text kFilter{"QVX file", "QVX file"};
inline constexpr const char* kPattern = "*.qvx";
inline constexpr Text kSaveTitle{"Enregistrer un Examen", "Save an Exam"};
inline constexpr Text kOpenTitle{"Ouvrir un Examen Quorvel (fichier QVX)", "Open a Quorvel Exam (QVX file)"};
inline constexpr Text kOpening{"Ouverture de l'examen ...", "Opening the exam ..."};
inline constexpr Text kNothingToSave{"Aucune donnée à sauvegarder. Effectuez au moins la segmentation ...       ",
                                     "No data to save. Achieve at least the segmentation ...       "};
inline constexpr Text kInvalid{"Fichier QVX invalide !             ", "This is not a valid QVX file !             "};
inline constexpr Text kOpenNew{"Ouvrir un nouvel examen ?   ", "Open a new exam ?   "};
// A save that failed, with its reason; a previous file at that path is untouched.
inline constexpr Text kNotWritten{"Impossible d'enregistrer l'examen :\n%s\n%s", "The exam could not be saved:\n%s\n%s"};
inline constexpr Text kSaved{"Examen enregistré : %s", "Exam saved: %s"};
inline constexpr Text kPreviousIntact{"\nLe fichier précédent est resté intact.", "\nThe previous file was left intact."};
inline constexpr Text kNoFolder{"Le dossier n'existe pas.", "The folder does not exist."};
inline constexpr Text kNoWriteRight{"Écriture refusée : dossier en lecture seule ou sans droit d'écriture.",
                                    "Writing refused: the folder is read-only or not writable."};
inline constexpr Text kDiskFull{"Le disque est plein.", "The disk is full."};
inline constexpr Text kNoMemory{"Mémoire insuffisante.", "Not enough memory."};
inline constexpr Text kNotNumbers{"Des résultats ne sont pas des nombres : refaites l'étape qui les donne.",
                                  "Some results are not numbers: redo the step that gives them."};
inline constexpr Text kSystemError{"Erreur système : %s", "System error: %s"};
inline constexpr Text kUnreadable{"Impossible de lire le fichier :\n%s", "The file cannot be read:\n%s"};
inline constexpr Text kCancelled{"Aucun fichier choisi.", "No file chosen."};

// Templates.
inline constexpr Text kProcessAccording{"Procéder au traitement sur base de  ::  ", "Process according to  ::  "};
inline constexpr Text kNotIndexed{"Fichier non indexé : traitement impossible",
                                  "This file is not valid for template processing"};
inline constexpr Text kTemplateGeometry{
    "Ce modèle a été enregistré pour %d instants et %d coupes ; l'étude ouverte en a %d et %d : traitement impossible",
    "This template was saved for %d instants and %d slices; the open study has %d and %d: it cannot be applied"};

// Options panel.
inline constexpr Text kColourAtRestart{"La couleur de fond sera mise à jour au prochain démarrage de Quorvel",
                                       "To update the background color please restart Quorvel"};

}  // namespace quorvel::exam_texts
