#pragma once
// The exam file (.qvx): the whole working state of a segmented study in one binary file, a header
// of fixed offsets followed by a packed body whose layout follows the study's dimensions and the
// mesh sizes stored before it. Little-endian; 4-byte values in their in-memory form.
#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "base/options.h"
#include "base/refusal.h"
#include "base/trace_log.h"
#include "curves/tacfit.h"
#include "curves/volume_results.h"
#include "model3d/model3d_settings.h"
#include "model3d/model3d_state.h"
#include "segmentation/segmentation_state.h"
#include "study/per_study_settings.h"
#include "study/study_record.h"

namespace quorvel {

inline constexpr int kExamVersion = 10022;           // written into every exam
inline constexpr int kExamVersionDated = 10000;      // above: the file carries its writer's date
inline constexpr int kExamVersionEquilibrium = 10010;  // above: equilibrium and disp_seuil are stored
inline constexpr int32_t kExamSignature[4] = {848484, 808080, 959595, 120120};
inline constexpr int32_t kLayoutMarker = 12312377;  // validation records and the patient line at 4000
// In a part of the header no field of the original layout covers: the iteration counts of fitting
// methods 1 and 3, which the stored results were computed with, follow this marker.
inline constexpr int32_t kFitSettingsMarker = 20261207;
inline constexpr int kMaxStoredIterations = 10000;
// Also in header bytes the original layout leaves empty: the acquisition's identifiers a report
// needs whole (Study Instance UID, Patient Name, Patient ID), after this marker.
inline constexpr int32_t kIdentityMarker = 20261208;
inline constexpr size_t kExamHeaderSize = 44444;
inline constexpr size_t kExamPathSize = 260;
inline constexpr int kMaxSurfaceTriangles = 150000;
inline constexpr int kMaxPatientName = 40;
inline constexpr int kPaletteMapValues = 1212;
inline constexpr int kLockedSlicesKept = 64;  // the file keeps the locks of the first 64 slices
inline constexpr size_t kAffectBytes = static_cast<size_t>(kMaxInstants) * kMaxSlices * kSliceVoxels;
inline constexpr size_t kExamTextSize = 8000;  // each comment
inline constexpr size_t kExamPatientSize = 100;

// Header offsets that the template reader and the tests also use.
namespace exam_offsets {
inline constexpr size_t kVersion = 32, kNinst = 44, kNCZ = 48, kECH = 60, kTT = 64, kTZ = 68, kTX = 72;
inline constexpr size_t kNREG = 112, kLimGInf = 208, kLimGSup = 272, kLimDInf = 336, kLimDSup = 400;
inline constexpr size_t kEquilibrium = 680, kDispSeuil = 684, kSeuillage = 1024, kMarker = 1592, kNList = 1596;
inline constexpr size_t kFitMarker = 1136, kFitIterations = 1140, kFitPolyIterations = 1144;
inline constexpr size_t kPickedTriangles = 1424;  // ours, in bytes earlier files leave 0
inline constexpr size_t kIdentityBlock = 8000, kStudyInstanceUid = 8004, kDicomPatientName = 8072,
                        kDicomPatientId = 8272;  // the block ends at 8340
inline constexpr size_t kListRotation = 1600, kListValveAngle = 2000, kListRecadX = 2400, kListRecadY = 2800,
                        kListRecadT = 3200, kListFichAxis = 3600, kPatientName = 4000, kComment2 = 24000,
                        kComment = 32000, kVersionDate = 40000;
}  // namespace exam_offsets

// Offset of LPE in the body: after the header, the saved path and DATA.
inline size_t examLabelsOffset(int Ninst, int NCZ) {
  return kExamHeaderSize + kExamPathSize + static_cast<size_t>(Ninst) * NCZ * kSliceVoxels * sizeof(float);
}

// Display settings the exam carries and restores for views that keep them: the segmentation grid
// when saved, the 3D panes' extra switches, the palette map, the background colours, and the
// triangle lists of the surface views (no routine builds those yet; a file's lists are kept).
struct ExamDisplay {
  int NcellH = 1, NcellV = 1, htayaff = 256, vtayaff = 128;
  std::array<int, 4> visu_GD{}, visu_nvue{}, visu_dvue{}, visu_atria{}, mesh_rendu{};
  std::array<int, 2> visu_flow{};
  int visu_TEXT = 0;
  int gamma_3D = 100;
  int BACK_COLOR = 0, BACK_COLOR3D = 0;  // 0x00BBGGRR
  std::array<int, kPaletteMapValues> PAL_map{};
  // [3][16]: Ntriangle of the 3D settings values each, Normale 3 per triangle, Triangle 9.
  std::array<std::array<std::vector<uint32_t>, kMaxInstants>, 3> Normale, Triangle;

  // The display of a new study: both backgrounds in the options' colour.
  static ExamDisplay forNewStudy(const Options& opt);
};

// The pieces of the working state an exam holds, by reference: read-only for saving, writable for
// loading (ExamSource / ExamTarget).
template <bool Const>
struct ExamPartsT {
  template <typename T>
  using Ref = std::conditional_t<Const, const T&, T&>;
  Ref<int> _MENU_;
  Ref<Study> study;
  Ref<PerStudySettings> settings;
  Ref<Options> options;
  Ref<Segmentation> seg;
  Ref<VolumeCurves> vc;
  Ref<TacFitSettings> fitSettings;
  Ref<Model3DStudySettings> model3d;
  Ref<Model3D> model;
  Ref<ExamDisplay> display;
};
using ExamSource = ExamPartsT<true>;
using ExamTarget = ExamPartsT<false>;

// An exam read from a file, by value, so that the study in memory changes only once the whole file
// has been accepted.
struct ExamContent {
  int _MENU_ = 0;
  Study study;
  PerStudySettings settings;
  Options options;  // the caller's options; the file overrides the ones it stores
  Segmentation seg;
  VolumeCurves vc;
  TacFitSettings fitSettings;
  Model3DStudySettings model3d;
  Model3D model;
  ExamDisplay display;
  int version = 0;                // quorvel_version of the writer
  std::string qv_version_date;    // empty for version 10000 or older
  std::string chemin_save;        // the path stored by the writer

  ExamTarget target() {
    return ExamTarget{_MENU_, study, settings, options, seg, vc, fitSettings, model3d, model, display};
  }
  ExamSource source() const {
    return ExamSource{_MENU_, study, settings, options, seg, vc, fitSettings, model3d, model, display};
  }
};

// The file's bytes for the state, saved under chemin_save on date (10 characters, "dd-mm-yyyy");
// allFinite, when given, says whether every float written is a number.
std::vector<uint8_t> encodeExam(const ExamSource& src, const std::string& chemin_save, const std::string& date,
                                bool* allFinite = nullptr);

// Reads an exam from its bytes into out (whose options are the caller's current ones). Every
// count is checked against the capacities (8 or 16 instants, 1..128 slices, at most 999 labels,
// 150 000 triangles, a patient name of 40 characters...) and every read against the size of the
// file; a refused file (NotAnExam, "Fichier QVX invalide !") leaves out in an unspecified state,
// so callers read into a scratch content and commit it only on success.
Status decodeExam(std::span<const uint8_t> bytes, ExamContent& out);

// SAVE_EXM_DATA: writes the exam at path (stored as chemin_save) with today's date. The bytes go
// to a temporary file beside path, flushed to the disk, then renamed over it: a failed save
// (ExamNotWritten) leaves the previous file at path exactly as it was.
Status SAVE_EXM_DATA(const ExamSource& src, const std::filesystem::path& path, TraceLog& log);

// LOAD_EXM_DATA: reads the file at path into out (see decodeExam). UnreadableFile when it cannot
// be read, NotAnExam when it is not a valid exam.
Status LOAD_EXM_DATA(const std::filesystem::path& path, ExamContent& out, TraceLog& log);

// The signature test of the open dialog: the first 16 bytes.
bool hasExamSignature(const std::filesystem::path& path);

// ".qvx" appended to a chosen name that does not already end with it.
std::filesystem::path withExamExtension(std::filesystem::path path);

// Today's date as the exam stores it: "dd-mm-yyyy".
std::string examDate();

}  // namespace quorvel
