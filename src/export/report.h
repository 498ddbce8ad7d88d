#pragma once
// The result report: one picture gathering the result panels of a stage, composed on a canvas of
// fixed size (1024 x 1024, or 1536 x 1092) from panels drawn for it, and written as a 24-bit
// bitmap, a JPEG image or a DICOM Secondary Capture object of the acquisition's study.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "base/bitmap.h"
#include "base/options.h"
#include "base/platform.h"
#include "base/refusal.h"
#include "curves/result_uncertainty.h"
#include "curves/tacfit.h"
#include "curves/volume_results.h"
#include "model3d/model3d_settings.h"
#include "model3d/model3d_state.h"
#include "model3d/regional.h"
#include "model3d/segmental.h"
#include "render/pictures.h"
#include "segmentation/segmentation_state.h"
#include "study/loading.h"

namespace quorvel {

enum class ReportKind { Global = 1, Local = 2 };
// RESEXP_type: the filter of the save dialog.
enum ReportFileType : int { kReportBitmap = 1, kReportJpeg = 2, kReportDicom = 3 };

inline constexpr int kBmpHeaderSize = 54;
inline constexpr int kJpegQuality = 100;

// What a report reads. The curve plots and the 3D pictures are redrawn into pictures; a local
// report leaves the 3D results view drawn as settings show it.
struct ReportInputs {
  const StudyWorkspace& w;
  const Segmentation& seg;
  const VolumeCurves& vc;
  const TacFitSettings& fit;
  const Model3D& model;
  const Model3DStudySettings& model3d;
  Pictures& pictures;
  const std::array<MeshCurve, 2>* pickedCurves = nullptr;  // the picked points' curves, [0] left
  // The fixed-frame segments: the wide local report shows them under the ejection-fraction
  // bull's-eyes (the square canvas has no free area).
  const SegmentalAnalysis* segments = nullptr;
  // The global results' uncertainty: the global report adds each ventricle's 95 % intervals.
  const ResultUncertainties* uncertainty = nullptr;
  // The comparison with the previous exam: the global report adds it under the left results.
  const SerialSummary* serial = nullptr;
};

// The canvas of RESEXP_1024: 1 gives 1024 x 1024, 0 gives 1536 x 1092.
struct CanvasSize {
  int width = 1024, height = 1024;
};
CanvasSize reportCanvasSize(int RESEXP_1024);

// Copies panel into canvas so that panel row i (from the bottom), column j lands on canvas row
// row0 + i, column col0 + j; pixels falling outside the canvas are skipped.
void FILL_EXPORT_BMP(Bitmap24& canvas, const Bitmap24& panel, int row0, int col0);
// The 54-byte header of a 24-bit uncompressed bottom-up bitmap of height x width pixels.
std::array<uint8_t, kBmpHeaderSize> CREATE_BMP_HEADER(int height, int width);
// Turns rows of 3 x width bytes, bottom-up blue-green-red, into top-down red-green-blue in place.
void FLIP_MATRIX(std::vector<uint8_t>& buffer, int height, int width);
// The canvas rows as stored (bottom-up BGR) without their padding.
std::vector<uint8_t> packedPixels(const Bitmap24& canvas);

// JPEG of top-down RGB rows through libjpeg: 3 components, default settings, the quality with
// baseline tables forced, one scan line per write. Empty when libjpeg fails.
std::vector<uint8_t> encodeJpeg(const std::vector<uint8_t>& rgb, int height, int width, int quality);
// Writes it through a temporary file renamed into place; refused (CannotWrite) when the file
// cannot be created or written, or when libjpeg fails; an existing file is then kept.
Status write_JPEG_file(const std::filesystem::path& path, int quality, int height, int width,
                       const std::vector<uint8_t>& rgb);

// The report of kind on the canvas of RESEXP_1024, from panels drawn for it.
Bitmap24 composeReport(ReportKind kind, const ReportInputs& in, int RESEXP_1024);
// The bytes of the file of type: bitmap with its header; JPEG; DICOM header and pixels.
// instanceNumber numbers the DICOM object within its new series.
std::vector<uint8_t> reportFileBytes(const Bitmap24& canvas, int type, const StudyRecord& s, int instanceNumber = 1);
// Writes the file atomically; refused (CannotWrite) when it cannot be written.
Status writeReport(const std::filesystem::path& path, int type, const Bitmap24& canvas, const StudyRecord& s,
                   int instanceNumber = 1);

// The type of a file name by its extension (.bmp, .jpg or .jpeg, .dcm, any case); 0 for another.
int reportTypeOf(const std::filesystem::path& path);
// bmp_exp_path followed by " - global" or " - local" and the extension of the type.
std::string reportPath(const std::string& bmp_exp_path, ReportKind kind, int type);

// The export command: the save dialog (its filter preselected from RESEXP_type, which takes the
// choice), then the report of kind written. Cancelled when the user cancelled the dialog.
Status EXPORT_RESULTS_1024(Platform& platform, Options& opt, ReportKind kind, const ReportInputs& in);

}  // namespace quorvel
