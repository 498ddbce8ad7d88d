#pragma once
// A refused request as a value: what went wrong (a code callers and tests can test) and what to
// tell the user, in French and English. The routine that refuses returns it; only the command
// the user gave shows it.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/language.h"

namespace quorvel {

enum class RefusalCode {
  // Acquisition files.
  UnreadableFile,
  NotDicom,
  Undecodable,
  TimeSlots,
  TooManySlices,
  BadVoxelSize,
  FormatNotAvailable,
  BadRescale,
  BadFrameCount,
  NoCounts,
  BadIdb,
  NoHeaderFile,
  MissingHeaderInformation,
  UnsupportedData,
  // Re-orientation and segmentation.
  NoStudy,
  RecordsFull,
  BadRecord,
  NoVoxelSize,
  TooManyRegions,
  SegmentationMissing,
  NoRegion,
  LeftVentricleAbsent,
  RightVentricleAbsent,
  BothVentriclesAbsent,
  NoPlacement,  // the automatic placement found no heart to place
  CropAfterValidation,    // the file window moves only before the first view is validated
  SegmentationOutOfDate,  // the counts changed since the segmentation was made
  ModelOutOfDate,         // the 3D model no longer matches what it was computed from
  UncertaintyOutOfDate,   // the results changed while their uncertainty was measured
  // Volume curves.
  FitFailed,
  // Exports.
  CannotWrite,
  NoSliceFiles,  // a folder to reformat without a DICOM slice file
  ReformatEmpty,      // no slice file's instance number falls inside the volume
  DuplicateInstance,  // two slice files carry one instance number
  // The user stopped a long operation; nothing changed.
  Cancelled,
  // Exam files and templates.
  NotAnExam,
  ExamNotWritten,
  NothingToSave,
  TemplateNotIndexed,
  TemplateGeometry,
  ReprojectionMode,  // an exam keeps a segmentation, which the reprojection mode does not make
  SerialComparisonRefused,  // an earlier exam does not open or its uncertainty cannot be measured
};

struct Refusal {
  RefusalCode code;
  std::string fr, en;

  const std::string& text(int LANGUE) const { return LANGUE == kEnglish ? en : fr; }
  static Refusal of(RefusalCode code, const Text& t) { return {code, t.fr, t.en}; }
  // A catalogue text with printf-style arguments, composed in both languages.
  template <typename... A>
  static Refusal formatted(RefusalCode code, const Text& t, A... args) {
    return {code, format(t.fr, args...), format(t.en, args...)};
  }
};

// Something the user should read even though the request went through (a value corrected, a
// default used): an information or a warning box.
struct Notice {
  bool warning = true;
  std::string fr, en;

  const std::string& text(int LANGUE) const { return LANGUE == kEnglish ? en : fr; }
  static Notice of(bool warning, const Text& t) { return {warning, t.fr, t.en}; }
  template <typename... A>
  static Notice formatted(bool warning, const Text& t, A... args) {
    return {warning, format(t.fr, args...), format(t.en, args...)};
  }
};
using Notices = std::vector<Notice>;

// Accepted, or refused with its reason.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(Refusal r) : refusal_(std::move(r)) {}  // NOLINT: a refusal is a status
  static Status accepted() { return {}; }

  bool ok() const { return !refusal_; }
  explicit operator bool() const { return ok(); }
  const Refusal& refusal() const { return *refusal_; }
  RefusalCode code() const { return refusal_->code; }

 private:
  std::optional<Refusal> refusal_;
};

}  // namespace quorvel
