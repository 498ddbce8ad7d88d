#pragma once
// French and English texts of the comparison with earlier exams.
#include "base/language.h"

namespace quorvel::compare_texts {

inline constexpr Text kChooseTitle{"Examen antérieur à comparer (fichier QVX)", "Earlier exam to compare (QVX file)"};
inline constexpr Text kAnother{"Ajouter un autre examen antérieur ?", "Add another earlier exam?"};
inline constexpr Text kNotOpened{"L'examen %s ne s'ouvre pas : %s", "The exam %s does not open: %s"};
inline constexpr Text kOtherPatient{
    "L'examen %s n'est pas du patient de l'examen ouvert (%s diffèrent). Le comparer quand même ?",
    "The exam %s is not of the patient of the open exam (%s differ). Compare it anyway?"};
inline constexpr Text kMeasuring{"Mesure de l'incertitude des examens", "Measuring the exams' uncertainty"};
inline constexpr Text kNotMeasured{"L'incertitude de l'examen %s n'a pas pu être mesurée (%d analyses ont échoué).",
                                   "The uncertainty of the exam %s could not be measured (%d analyses failed)."};
inline constexpr Text kCancelled{"Comparaison annulée.", "Comparison cancelled."};
inline constexpr Text kNeedsResults{
    "La comparaison porte sur les résultats affichés : ouvrez l'étape Résultats (hors mode reprojection).",
    "The comparison is made on the results shown: open the Results stage (outside the reprojection mode)."};
inline constexpr Text kOpenExam{"examen ouvert", "open exam"};
inline constexpr Text kExamLine{"%d. %s (%s)%s : FE G %.1f %% (IC 95 %% %.1f à %.1f), FE D %.1f %% (%.1f à %.1f)\n",
                                "%d. %s (%s)%s: LVEF %.1f %% (95 %% CI %.1f to %.1f), RVEF %.1f %% (%.1f to %.1f)\n"};
inline constexpr Text kCountingOnly{" [comptage seul]", " [counting only]"};
inline constexpr Text kPairLine{"%d -> %d : FE G %+.1f points (IC 95 %% %+.1f à %+.1f ; DMD %.1f%s, %s)\n",
                                "%d -> %d: LVEF %+.1f points (95 %% CI %+.1f to %+.1f; MDC %.1f%s, %s)\n"};
inline constexpr Text kRepeatExams{" d'examens répétés", " of repeat exams"};
inline constexpr Text kBeyondMdc{"au-delà", "beyond it"};
inline constexpr Text kWithinMdc{"en deçà", "within it"};
inline constexpr Text kFlag{"   ALERTE : la baisse de FE G répond au critère %s (%s)\n",
                            "   ALERT: the LVEF fall meets the criterion %s (%s)\n"};
inline constexpr Text kCriterion{"\nCritère : %s (%s)\n", "\nCriterion: %s (%s)\n"};
inline constexpr Text kPlaceAlike{
    "L'examen %s a été placé autrement. Traiter l'acquisition ouverte selon cet examen (modèle de traitement), "
    "pour les placer de même ? Ses résultats seront à refaire.",
    "The exam %s was placed otherwise. Process the open acquisition according to it (as a processing template), so "
    "that both are placed alike? Its results will then be made again."};

}  // namespace quorvel::compare_texts
