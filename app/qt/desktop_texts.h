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

// The archive: query, retrieve, open.
inline constexpr Text kOpenFromArchive{"Ouvrir depuis l'archive...", "Open from archive..."};
inline constexpr Text kArchiveTitle{"Ouvrir une étude de l'archive", "Open a study from the archive"};
inline constexpr Text kArchiveAddress{"Archive (AET@hôte:port) :", "Archive (AET@host:port) :"};
inline constexpr Text kArchiveOurAet{"Notre AE title :", "Our AE title :"};
inline constexpr Text kArchivePatientName{"Nom du patient (DUPONT*) :", "Patient name (DOE*) :"};
inline constexpr Text kArchivePatientId{"ID du patient :", "Patient ID :"};
inline constexpr Text kArchiveDates{"Dates (AAAAMMJJ-AAAAMMJJ) :", "Dates (YYYYMMDD-YYYYMMDD) :"};
inline constexpr Text kArchiveSearch{"Chercher", "Search"};
inline constexpr Text kArchiveOpen{"Ouvrir", "Open"};
inline constexpr Text kArchiveColumns{"Date|ID patient|Nom|Modalités|Description",
                                      "Date|Patient ID|Name|Modalities|Description"};
inline constexpr Text kArchiveNotAddress{"L'archive doit s'écrire AET@hôte:port.",
                                         "Write the archive as AET@host:port."};
inline constexpr Text kArchiveSearching{"Recherche dans l'archive...", "Searching the archive..."};
inline constexpr Text kArchiveFound{"%d études", "%d studies"};
inline constexpr Text kArchiveRetrieving{"Rapatriement de l'étude...", "Bringing the study over..."};
inline constexpr Text kArchiveNoGated{"L'étude ne contient aucune tomographie synchronisée.",
                                      "The study holds no gated tomography."};
inline constexpr Text kSendToArchive{"Envoyer les résultats à l'archive", "Send results to archive"};
inline constexpr Text kArchiveNotSet{
    "Aucune archive n'est configurée : choisissez-la d'abord dans « Ouvrir depuis l'archive... ».",
    "No archive is configured: choose it first in \"Open from archive...\"."};
inline constexpr Text kSendFromResults{"Les résultats s'envoient depuis l'étape des résultats.",
                                       "Results are sent from the results stage."};
inline constexpr Text kSent{"Compte-rendu et rapport structuré envoyés à %s.",
                            "Report and structured report sent to %s."};
inline constexpr Text kNotSent{"L'envoi à %s a échoué : %s", "Sending to %s failed: %s"};
inline constexpr Text kMethodOnDesktop{
    "Tomographie synchronisée des cavités ; les deux ventricules segmentés en 4D ; placement validé par l'utilisateur",
    "Gated blood-pool tomography; both ventricles segmented in 4D; placement validated by the user"};
// The node's studies to review.
inline constexpr Text kReviewList{"Études à revoir...", "Studies to review..."};
inline constexpr Text kReviewTitle{"Études analysées sans surveillance, à revoir",
                                   "Studies analysed unattended, to review"};
inline constexpr Text kReviewFolder{"Dossier des résultats du nœud :", "The node's results folder :"};
inline constexpr Text kReviewShow{"Afficher", "Show"};
inline constexpr Text kReviewColumns{"Patient|Étude|Raison", "Patient|Study|Reason"};
inline constexpr Text kReviewCount{"%d études à revoir", "%d studies to review"};
inline constexpr Text kReviewNoList{"Ce dossier ne contient pas de liste d'études à revoir.",
                                    "This folder holds no list of studies to review."};
inline constexpr Text kReviewNoExam{"Le nœud n'a pas enregistré d'examen pour cette étude (analyse refusée) : voir %s",
                                    "The node saved no exam for this study (analysis refused): see %s"};

}  // namespace quorvel::desktop_texts
