#pragma once
// French and English texts of the spreadsheet export.
#include "base/language.h"

namespace quorvel::export_texts {

inline constexpr Text kResultsTableTitle{"Exporter tableau Excel", "Export Excel table"};
inline constexpr Text kSectorTableTitle{"Exporter tableau Excel (17 sect.)", "Export Excel table (17 sect.)"};
inline constexpr Text kExcelFilter{"Excel", "Excel"};
inline constexpr Text kPatientCancelled{"Export annulé.", "Export cancelled."};
// The result report.
inline constexpr Text kReportTitle{"Exporter résultats", "Export results"};
inline constexpr Text kReportIntervals{"Intervalle 95 %% : FE %.1f à %.1f %%, VTD %.1f à %.1f cc\n",
                                       "95 %% interval: EF %.1f to %.1f %%, EDV %.1f to %.1f cc\n"};
inline constexpr Text kReportComparison{"Examen précédent (%s) : FE %.0f %%\nvariation %+.1f points (DMD %.1f) : %s\n",
                                        "Previous exam (%s): EF %.0f %%\nchange %+.1f points (MDC %.1f): %s\n"};
inline constexpr Text kReportFlagged{"ALERTE (%s)", "ALERT (%s)"};
inline constexpr Text kReportNotFlagged{"pas d'alerte (%s)", "no alert (%s)"};
inline constexpr Text kReportWritten{"Compte-rendu enregistré : %s", "Report written: %s"};
inline constexpr Text kBitmapFilter{"Bitmap", "Bitmap"};
inline constexpr Text kJpegFilter{"Jpeg", "Jpeg"};
inline constexpr Text kDicomFilter{"Dicom", "Dicom"};
inline constexpr Text kLongAxisDiastole{"HLA - télédiastole", "HLA - telediastole"};
inline constexpr Text kLongAxisSystole{"HLA - télésystole", "HLA - telesystole"};
inline constexpr Text kShortAxisDiastole{"SA - télédiastole", "SA - telediastole"};
inline constexpr Text kShortAxisSystole{"SA - télésystole", "SA - telesystole"};
inline constexpr Text kCannotWrite{"Impossible d'écrire le fichier :\n%s", "Cannot write the file:\n%s"};

}  // namespace quorvel::export_texts
