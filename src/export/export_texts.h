#pragma once
// French and English texts of the spreadsheet export.
#include "base/language.h"

namespace quorvel::export_texts {

inline constexpr Text kResultsTableTitle{"Exporter tableau Excel", "Export Excel table"};
inline constexpr Text kSectorTableTitle{"Exporter tableau Excel (17 sect.)", "Export Excel table (17 sect.)"};
inline constexpr Text kExcelFilter{"Excel", "Excel"};
inline constexpr Text kPatientCancelled{"Export annulé.", "Export cancelled."};
inline constexpr Text kCannotWrite{"Impossible d'écrire le fichier :\n%s", "Cannot write the file:\n%s"};

}  // namespace quorvel::export_texts
