#pragma once
// The one study in memory: acquisition geometry, timing, intensities, patient text and the
// 4D count array DATA. Field names are the names every subsystem uses.
#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "base/capacities.h"

namespace quorvel {

// Transfer syntaxes the DICOM reader decodes.
enum TransferSyntax : int {
  kSyntaxUnknown = 0,
  kImplicitLittle = 169,
  kExplicitLittle = 170,
  kExplicitBig = 177,
};

// Format of the loaded file (IM_FORMAT) and of the voxel decoding (Defaut_format).
enum AcqFormat : int { kFormatDicom = 1, kFormatIdb = 2, kFormatInterfile = 3, kFormatIma = 4 };

// Capacities of the text fields, terminating byte included.
inline constexpr size_t kPatNameSize = 100;
inline constexpr size_t kPatSexSize = 4;
inline constexpr size_t kPatDateSize = 20;
inline constexpr size_t kPatientNameSize = 400;
inline constexpr size_t kPatTmpSize = 200;
inline constexpr size_t kPathSize = 260;
// DICOM's own limits of the identity texts kept whole: a person name of three component groups of
// 64 characters with their separators, a long string, a unique identifier.
inline constexpr size_t kDicomPersonNameMax = 194, kDicomLongStringMax = 64, kDicomUidMax = 64;

// The file's own layout as its header gave it; a re-read starts again from it, whatever the
// re-binning and short-axis transposition did to Ninst, NCZ and OrImSize_H.
struct FileGeometry {
  int Ninst = 0;
  int NCZ = 0;
  int OrImSize_H = 0;
  int OrImSize_V = 0;
};

// Everything of the study except DATA: cheap to copy, so a reader fills a scratch copy and the
// open command commits it only when the whole file has been accepted.
struct StudyRecord {
  // Dimensions and geometry.
  int Ninst = 8;
  int NCZ = 0;
  int Data_NZ = 0;
  int czmin = 0;
  int czmax = 0;
  int OrImSize_H = 0;
  int OrImSize_V = 0;
  long long OFFSET_LEC = 0;
  float VOXEL_SIZE_XY = 0;  // cm
  float VOXEL_SIZE_Z = 0;   // cm
  float VOX_XY_init = 0;
  float VOXS_init = 0;  // ml
  int patient_orientation = 0;  // 1 feet first
  int IM_FORMAT = kFormatDicom;
  int Defaut_format = kFormatDicom;
  int TRANSFERT_UID = kSyntaxUnknown;
  FileGeometry file_geometry;

  // Timing.
  float CARD_FREQ = 0;
  int CARD_FREQ_INT = 0;
  int HEART_RATE = 0;
  float CYCLE = 0;  // ms per instant
  int Inst_telesys = 0;
  int FREQ_ASKING = 0;
  int mesh_ngradmax = 0;
  int mesh_ngradpas = 0;

  // Intensities.
  float datamax = 0;
  float datamin = 0;  // threshold level, not a minimum
  int seuillage = 30;
  float rescale_slope = -1;  // -1: none given
  float rescale_intercept = 0;

  // Patient and study text.
  std::string PAT_NAME, PAT_SEX, PAT_DATE, ACQ_DATE;
  std::string patient_name;
  int pat_sex = 0;  // 0 other, 1 female, 2 male
  std::string pat_tmp;
  std::string chemin_data;
  std::string chemin_short;

  // Raw DICOM copies kept for the DICOM writer and the exam file (first N value bytes).
  std::array<char, 40> patname{};  // at most 40 characters are kept
  int patname_long = 0;
  std::array<char, 2> patsex{};
  std::array<char, 8> patbd{};
  std::array<char, 4> patage{};
  std::array<char, 10> patid{};
  std::array<char, 8> hdate{};
  std::array<char, 14> htime{};
  std::array<char, 26> sopclauid{};
  std::array<char, 56> sopinsuid{};
  std::array<char, 100> seriesinsuid{};
  std::array<char, 100> studyuid{};  // the Study ID (0020,0010), as its name does not say
  int instance_nb = 0;
  // The Study Instance UID (0020,000D): derived pictures join the acquisition's study through it.
  std::string studyInstanceUid;
  // Patient Name (0010,0010) and Patient ID (0010,0020) whole, as the acquisition's file gave them
  // (the raw copies above keep the exam file's sizes): the report names the patient with them.
  std::string dicomPatientName, dicomPatientId;

  // Manual crop offsets of the re-read (stage 1).
  int mantrans_x = -8;
  int mantrans_y = 8;

  // Current view indices.
  int instant = 0;
  int coupe = 0;
  int seg_affmin = 0;
  int countCentreSlice = -1;  // slice of the count centroid found by the loader's crop; -1 none
};

struct Study : StudyRecord {
  // ((t * NCZ + z) * 64 + x) * 64 + y
  std::vector<float> DATA;
  // The generation of DATA: the fingerprint of its content, taken by stampCounts after every
  // change. Results computed from the counts record it.
  uint64_t countsGeneration = 0;

  static size_t index(int NCZ, int t, int z, int x, int y) {
    return ((static_cast<size_t>(t) * NCZ + z) * kMatrix + x) * kMatrix + y;
  }
  float& at(int t, int z, int x, int y) { return DATA[index(NCZ, t, z, x, y)]; }
  float at(int t, int z, int x, int y) const { return DATA[index(NCZ, t, z, x, y)]; }
  size_t instantSize() const { return static_cast<size_t>(NCZ) * kSliceVoxels; }
  bool loaded() const { return !DATA.empty(); }
};

// DATA changed (read, resampled, mirrored, quantised): its generation taken again.
void stampCounts(Study& s);
// The fingerprint stampCounts takes, computed afresh (the tests check that none was missed).
uint64_t countsFingerprint(const Study& s);

// A voxel of the current instant: what a pointing device designates in a view.
struct SliceVoxel {
  int slice = 0, row = 0, col = 0;
  bool operator==(const SliceVoxel&) const = default;
};

// Copies n raw bytes of a value into a fixed field, zero-filling the rest.
template <size_t N>
void copyRaw(std::array<char, N>& dst, const unsigned char* src, size_t len) {
  dst.fill(0);
  for (size_t i = 0; i < N && i < len; ++i) dst[i] = static_cast<char>(src[i]);
}

}  // namespace quorvel
