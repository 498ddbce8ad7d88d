#pragma once
// State of the three-dimensional ventricle model: the label volume BORD, valve planes, apices,
// barycentres and skeletons; the full and preview surface meshes; the regional parametric maps
// with their histograms, windows and statistics; the bull's-eye images and sector means.
// Field names are the names the exam file and the views use. Arrays keep the capacities the
// exam file relies on ([2][16][128][128] for mesh nodes) and are allocated by the first meshing.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/capacities.h"
#include "base/options.h"
#include "segmentation/segmentation_state.h"
#include "model3d/model3d_settings.h"
#include "study/per_study_settings.h"
#include "study/study_record.h"

namespace quorvel {

inline constexpr int kSkelSamples = 128;        // Skel_Discret slots per ventricle and instant
inline constexpr int kArcSteps = 10000;         // chords of the arc-length integration
inline constexpr int kValvePointCap = 10002;    // valve point list
inline constexpr int kPreviewMax = 48;          // preview grid capacity
inline constexpr int kMaxMeshSampling = 120;    // largest mesh_samA / mesh_samR option
inline constexpr int kBullseye = 251;           // bull's-eye side, centre 125, radius 125
inline constexpr int kBullseyeCentre = 125;
inline constexpr int kSectorSlots = 26;         // slot 0: pixels outside the disc
inline constexpr int kHistoBins = 101;
inline constexpr int kCurvePictureWidth = 300;  // picked-point curve picture
inline constexpr int kCurvePictureHeight = 80;

// Where a ventricle's valve plane came from at one instant.
enum ValveSource : int {
  kValveNone = 0,    // not computed yet
  kValveVoxels = 1,  // the valve voxels next to the atria
  kValveLine = 2,    // no usable valve voxel: the validated valve-plane line of the re-orientation
};

// How a ventricle's apex was found at one instant.
enum ApexSource : int {
  kApexBeyondDistance = 0,  // the mean of the voxels beyond the C/S fraction of the largest distance
  kApexFarthest = 1,        // none beyond it (the slider at its top): the farthest voxels
  kApexKept = 2,            // no ventricle voxel beyond the valve plane: the apex found before kept
};

struct Vec3f {
  float x = 0, y = 0, z = 0;
};

// Everything the model reads from the earlier stages.
struct ModelInputs {
  const Study& study;
  const Segmentation& seg;
  const SliceLimits& limits;
  const ReorientSettings& reorient;
  const Options& options;
};

// Skeleton and valve planes. Per-ventricle-and-instant tables are [3][16], row 0 unused.
struct SkeletonModel {
  // Label volume, same index as DATA: 0 background, 1..3 surface, 101..103 interior,
  // 201..202 valve voxels.
  std::vector<uint8_t> BORD;

  VentricleTable<float> Sx0{}, Sy0{}, Sz0{};     // valve-plane centre
  VentricleTable<float> Sx1{}, Sy1{}, Sz1{};     // mean oriented normal of the valve voxels
  VentricleTable<float> dsx1{}, dsy1{}, dsz1{};  // unit valve normal, towards the apex
  VentricleTable<float> apexX{}, apexY{}, apexZ{};
  VentricleTable<float> bcx{}, bcy{}, bcz{};
  VentricleTable<float> Cy0{}, Cy1{}, Cy2{}, Cz0{}, Cz1{}, Cz2{};
  VentricleTable<float> dsx2{}, dsy2{}, dsz2{};  // unit apex direction, out of the ventricle
  // Carried by the exam file beside the fields above; no routine of the model writes them.
  VentricleTable<float> Sx2{}, Sx3{}, Sx4{}, Sy2{}, Sy3{}, Sy4{}, Sz2{}, Sz3{}, Sz4{};
  VentricleTable<float> dsx3{}, dsy3{}, dsz3{};
  VentricleTable<int> UPDT_instant{};
  VentricleTable<int> valve_source{};  // ValveSource of each ventricle and instant
  VentricleTable<int> apex_source{};   // ApexSource of each ventricle and instant
  VentricleTable<int> valve_voxels{};  // voxels of each ventricle and instant touching an atrium

  std::array<std::array<std::array<float, kSkelSamples>, kMaxInstants>, 2> Skel_Discret{};

  // Whole-model extents: index 0 all classes 1..3, 1..3 per class.
  std::array<int, 4> NPTS{};
  std::array<float, 4> BC_X{}, BC_Y{}, BC_Z{};
  std::array<float, 4> MIN_X{}, MIN_Y{}, MIN_Z{}, MAX_X{}, MAX_Y{}, MAX_Z{};
};

// Full and preview surface meshes; ventricle index 0 left, 1 right.
struct MeshModel {
  int mesh_samA = 48;  // axial rings of the full mesh
  int mesh_samR = 48;  // angular positions
  int Nmeshtri = 0;
  int Nmeshtri_pre = 0;
  int mesh_samP_built = 0;  // preview sampling the preview arrays were built with
  int mesh_valid = 0;       // 1 once a full meshing ran to its end

  // [2][16][128][128] nodes (x3 for vectors), [2][16][128][3] ring centres.
  std::vector<float> MESH_CTR, MESH_DIR, MESH_DIS, MESH, MESH_ACT, MESH_act, MESH_pond, MESH_nor;
  std::vector<uint8_t> MESH_points;  // [2][Nmeshtri][6]: (a, r) of the three vertices
  std::vector<float> MESH_tri;       // [2][16][Nmeshtri][9]: vertices as Z, X, Y
  // [2][Nmeshtri][3]: the parametric maps at the three vertices.
  std::vector<float> MESH_fej, MESH_tej, MESH_per, MESH_pfr, MESH_tper, MESH_tpfr;
  std::array<float, 2> MIN_mX{}, MIN_mY{}, MIN_mZ{}, MAX_mX{}, MAX_mY{}, MAX_mZ{};

  // Preview, capacity [2][16][48][48].
  std::vector<float> MESHpre_CTR, MESHpre_DIR, MESHpre_DIS, MESHpre, MESHpre_nor;
  std::vector<uint8_t> MESHpre_points;  // [2][Nmeshtri_pre][6]
  std::vector<float> MESHpre_tri;       // [2][16][Nmeshtri_pre][9]

  static size_t node(int v, int t, int a, int r) {
    return ((static_cast<size_t>(v) * kMaxInstants + t) * kMeshSize + a) * kMeshSize + r;
  }
  static size_t ring(int v, int t, int a) { return (static_cast<size_t>(v) * kMaxInstants + t) * kMeshSize + a; }
  static size_t preNode(int v, int t, int a, int r) {
    return ((static_cast<size_t>(v) * kMaxInstants + t) * kPreviewMax + a) * kPreviewMax + r;
  }
  static size_t preRing(int v, int t, int a) { return (static_cast<size_t>(v) * kMaxInstants + t) * kPreviewMax + a; }
  Vec3f point(int v, int t, int a, int r) const {
    const float* p = &MESH[3 * node(v, t, a, r)];
    return {p[0], p[1], p[2]};
  }
};

using Histogram = std::array<float, kHistoBins>;
using SectorValues = std::array<float, kSectorSlots>;

// Regional parametric maps, histograms, windows and statistics; index 0 left, 1 right.
struct RegionalMaps {
  // [2][128][128]: one value per node of the (ring, angle) grid.
  std::vector<float> MESH_FEJ, MESH_TEJ, MESH_PER, MESH_PFR, MESH_TPER, MESH_TPFR;
  float PER_corr = 1.0f, PFR_corr = 1.0f;
  std::array<Histogram, 2> histo_fej{}, histo_tej{}, histo_per{}, histo_pfr{}, histo_tper{}, histo_tpfr{};
  std::array<int, 2> fej_cmin{}, fej_cmax{100, 100}, tej_cmin{}, tej_cmax{100, 100}, per_cmin{},
      per_cmax{100, 100}, tper_cmin{}, tper_cmax{100, 100}, pfr_cmin{}, pfr_cmax{100, 100}, tpfr_cmin{},
      tpfr_cmax{100, 100};
  std::array<float, 2> mesh_fej_mean{}, mesh_fej_std{}, mesh_tej_mean{}, mesh_tej_std{}, mesh_per_mean{},
      mesh_per_std{}, mesh_pfr_mean{}, mesh_pfr_std{}, mesh_tper_mean{}, mesh_tper_std{}, mesh_tpfr_mean{},
      mesh_tpfr_std{};
  std::array<int, 2> MC_v{}, MC_ar{};  // picked points: ventricle 1 or 2, triangle of the full mesh
  // Regional curves (fitted nodes) with an instant whose ray met no voxel of the ventricle.
  std::array<int, 2> regional_empty_curves{};
  std::array<int, 2> regional_failed_fits{};  // fits refused by the method (node left at zero)

  static size_t at(int v, int a, int r) { return (static_cast<size_t>(v) * kMeshSize + a) * kMeshSize + r; }
};

// Bull's-eye images, sector numbers and sector means.
struct BullsEye {
  // [2][251][251] images of the six maps, in map units.
  std::vector<float> mesh_sect_fej, mesh_sect_tej, mesh_sect_per, mesh_sect_pfr, mesh_sect_tper, mesh_sect_tpfr;
  std::vector<float> mesh_sect_pond;  // [251][251]
  std::vector<int> mesh_sect;         // [251][251] disc mask, then sector numbers
  std::vector<int> mesh_sect_bord;    // [251][251] sector outline
  std::array<SectorValues, 2> mesh_smoy_fej{}, mesh_smoy_tej{}, mesh_smoy_per{}, mesh_smoy_pfr{}, mesh_smoy_tper{},
      mesh_smoy_tpfr{};
  std::array<SectorValues, 2> mesh_smoy_tejX{}, mesh_smoy_tejY{}, mesh_smoy_tperX{}, mesh_smoy_tperY{},
      mesh_smoy_tpfrX{}, mesh_smoy_tpfrY{};
  std::array<int, kSectorSlots> mesh_smoy_pond{};
  int inst_depol_min = 0, inst_depol_max = 0;  // quarters of an instant
  std::array<int, kSectorSlots> label_shown{};  // label windows shown over the bull's-eye

  static size_t px(int row, int col) { return static_cast<size_t>(row) * kBullseye + col; }
  static size_t image(int v, int row, int col) { return static_cast<size_t>(v) * kBullseye * kBullseye + px(row, col); }
};

struct Model3D {
  SkeletonModel skel;
  MeshModel mesh;
  RegionalMaps maps;
  BullsEye eye;
};

// Model coordinates (units of the in-plane voxel): X = row - 32, Y = column - 32,
// Z = (slice - NCZ/2) x VOXEL_SIZE_Z / VOXEL_SIZE_XY.
inline float modelX(int row) { return static_cast<float>(row - kMatrix / 2); }
inline float modelY(int col) { return static_cast<float>(col - kMatrix / 2); }
inline float modelZ(const StudyRecord& s, int z) {
  return static_cast<float>(z - s.NCZ / 2) * s.VOXEL_SIZE_Z / s.VOXEL_SIZE_XY;
}

}  // namespace quorvel
