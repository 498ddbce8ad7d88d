#pragma once
// The spreadsheet tables: tab-separated text files with the .xls extension that a spreadsheet
// program opens as a table. The results table holds the global parameters and the regional means
// of both ventricles; the 17-sector table one header block and one data row per exam (patient
// fields typed by the user, global, regional and per-sector values). Texts are written in
// Latin-1, as the spreadsheets that collect these rows expect (the degree sign is the byte 0xB0).
#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/platform.h"
#include "base/refusal.h"
#include "curves/result_uncertainty.h"
#include "curves/volume_results.h"
#include "model3d/model3d_state.h"
#include "model3d/segmental.h"
#include "study/study_record.h"

namespace quorvel {

inline constexpr int kTableCellWidth = 20;
inline constexpr int kSectorTableColumns = 99;
inline constexpr int kPatientFieldCount = 13;
inline constexpr int kTableSectors = 17;

// What the tables read: the study's timing, the global results and the 3D model's statistics.
struct TableInputs {
  const StudyRecord& study;
  const VolumeCurves& vc;
  const RegionalMaps& maps;
  const BullsEye& eye;
  // The fixed-frame segments; null or invalid: their columns stay empty.
  const SegmentalAnalysis* segments = nullptr;
  // The global results' uncertainty; given: the results table ends with their 95 % intervals.
  const ResultUncertainties* uncertainty = nullptr;
};

// One edit field of the 17-sector patient dialog: its control, captions, column label and the
// key the command line uses for it.
struct PatientField {
  int control;
  Text caption;
  const char* label;  // UTF-8; written in Latin-1
  const char* key;
};
extern const std::array<PatientField, kPatientFieldCount> kPatientFields;
// Dialog buttons and the hidden formatting control.
inline constexpr int kPatientValidate = 164, kPatientCancel = 165, kPatientFormatBuffer = 166;
inline constexpr Text kPatientValidateCaption{"Valider", "Validate"};
inline constexpr Text kPatientCancelCaption{"Annuler", "Cancel"};

// The texts typed in the dialog, in the order of kPatientFields.
using PatientFields = std::array<std::string, kPatientFieldCount>;
// The field of a command-line key ("name", "lvef-2d", ...); -1 when there is none.
int patientFieldIndex(std::string_view key);
// What the study already says of the patient, for the form to open with: family and given names,
// sex, birth date and the study's date; the other fields empty.
PatientFields patientFieldsOf(const StudyRecord& s);
// A file name for the study's saves: family name, given name and study date joined by '_', only
// letters, digits and '-' kept; empty when the study names no patient.
std::string fileStemOf(const StudyRecord& s);

// Column k (1..17) of the sector blocks takes this sector of the 17-sector layout.
inline constexpr std::array<int, kTableSectors> kLeftSectorColumns{15, 16, 17, 12, 13, 14, 9, 10, 11,
                                                                   6,  7,  8,  4,  5,  2,  3, 1};
inline constexpr std::array<int, kTableSectors> kRightSectorColumns{15, 14, 13, 12, 17, 16, 9, 8, 7,
                                                                    6,  11, 10, 4, 3,  2,  5, 1};

// The 99 column labels of the 17-sector table (UTF-8; written in Latin-1).
using Etikets = std::array<std::string, kSectorTableColumns>;
Etikets INIT_EXCEL_ETIKETS();

// After the 99 columns, the fixed-frame segments: per ventricle the segments' ejection fractions,
// their times to minimum (ms), the dyssynchrony index and the phase indices, then the phase delay
// between the ventricles. Appended so that databases reading the first 99 columns stay in line.
inline constexpr int kSegmentIndexColumns = 6;
inline constexpr int kSegmentTableColumns =
    2 * (kLeftSegments + kRightSegments) + 2 * kSegmentIndexColumns + 1;
std::vector<std::string> segmentColumnLabels();

// A cell: the Latin-1 text cut or padded with spaces to exactly 20 bytes.
std::string excelCell(std::string_view utf8);
// UTF-8 to Latin-1; characters outside Latin-1 become "?".
std::string toLatin1(std::string_view utf8);

// The two tables' bytes.
std::string resultsTable(const TableInputs& in);
std::string sectorTable(const TableInputs& in, const PatientFields& fields, const Etikets& labels);

// 1 when the first four characters of extension occur in the first 256 characters of path.
int VERF_EXTENSION(std::string_view path, std::string_view extension);
// The path as typed, with ".xls" appended unless it already holds it.
std::string tablePath(const std::string& typed);
// Writes a table (through a temporary file renamed into place). Refused, with nothing written
// and any existing file kept, when the file cannot be created.
Status writeTable(const std::filesystem::path& path, const std::string& bytes);

// The export commands: ask for the file name in the save dialog, then write. Cancelled when the
// user cancelled the dialog.
Status EXPORT_EXCEL_FILE(Platform& platform, int LANGUE, const TableInputs& in);
Status UPDATE_DATABASE(Platform& platform, int LANGUE, const TableInputs& in, const PatientFields& fields);

}  // namespace quorvel
