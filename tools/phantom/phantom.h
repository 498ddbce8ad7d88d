#pragma once
// Digital gated blood-pool tomography: moving cardiac anatomy driven by two analytic volume
// curves, voxelised by supersampling, blurred by a 3D Gaussian and given Poisson noise.
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "phantom/volume_curve.h"

namespace quorvel::phantom {

// Heart-frame lengths in millimetres. Frame: u along the long axis from apex towards the base
// (rows), v across the septum towards the left ventricle (columns), w along the slices; the origin
// is the centre of the valve plane on the septum at end-diastole.
struct AnatomyParams {
  double lv_length_mm = 85.0;        // apex to valve plane at end-diastole
  double lv_truncation = 0.25;       // valve plane beyond the ellipsoid centre, in semi-major axes
  double base_descent_mm = 10.0;     // valve-plane travel towards the apex over the full stroke
  double septum_mm = 10.0;           // septal thickness, also the left-ventricular wall around the crescent
  double rv_apex_extra_mm = 5.0;     // right-ventricular crescent reaches beyond the dilated LV tip
  double rv_junction_mm = 4.0;       // crescent thickness at its anterior and inferior junctions
  double atrial_gap_mm = 6.0;        // atria from the valve plane, which they follow over the cycle
  double la_min_ml = 30.0, ra_min_ml = 35.0;
  double atrial_share = 0.5;         // atrial volume gain per ml ejected by the matching ventricle
  double aorta_radius_mm = 12.0, pulmonary_radius_mm = 12.0, outflow_radius_mm = 10.0;
  double liver_blood_fraction = 0.30;
  double spleen_blood_fraction = 0.50;
  double lung_blood_fraction = 0.12;
};

// A region of the left-ventricular wall that does not move (akinetic) or reaches end-systole
// late. It is placed on the bull's-eye of the 17-sector layout: centred on a sector, a disc of the
// given radius (fraction of the bull's-eye radius), the apical fifth of the long axis mapping to
// the inner quarter of the disc as the model's polar cap does with its default apex distance.
// Hypokinetic and dyskinetic regions move with the rest of the wall, scaled by `motion` (a share
// of the healthy wall's excursion; negative: outwards in systole).
enum class WallFault { None, Akinetic, Late, Hypokinetic, Dyskinetic };
inline constexpr double kHypokineticMotion = 0.4, kDyskineticMotion = -0.3;
struct WallFaultParams {
  WallFault kind = WallFault::None;
  int sector = 1;          // 17-sector layout: 1 apex, 2..5 apical, 6..11 mid, 12..17 basal ring
  double size = 0.3;       // radius on the bull's-eye, fraction of its radius
  double delay_pct = 15.0; // late: end of systole delayed by this much (% of the cycle)
};

// A band of the right ventricle's free wall that moves less than the rest of it (akinetic: not at
// all; hypokinetic and dyskinetic as the left wall's), placed by thirds of the right ventricle's
// length from its apex to the end-diastolic valve plane: `segment` is the free-wall segment of the
// right ventricle's 7-segment scheme at the band's centre (2 basal, 4 mid, 6 apical) and `size`
// the band's length as a share of the ventricle's.
struct RvWallFaultParams {
  WallFault kind = WallFault::None;
  int segment = 4;
  double size = 0.3;
};

struct PatientInfo {
  std::string name = "PHANTOM^GATED";
  std::string id = "QPH0001";
  std::string sex = "M";              // "M", "F" or "O"
  std::string birth_date = "19600101";  // YYYYMMDD
  std::string study_date = "20240115";
  std::string study_time = "100000";
  std::string position = "HFS";      // "HFS" or "FFS"
};

struct PhantomParams {
  VolumeCurveParams lv{120.0, 60.0, 35.0, 0.70, 20.0, 0.20, 82.0};
  VolumeCurveParams rv{140.0, 50.0, 37.0, 0.70, 20.0, 0.20, 82.0};
  AnatomyParams anatomy;
  WallFaultParams lv_fault;
  RvWallFaultParams rv_fault;
  PatientInfo patient;
  int matrix = 64;            // 64 or 128
  double pixel_mm = 6.8;
  int slices = 64;
  double slice_mm = 6.8;
  int instants = 8;           // 8 or 16
  double heart_rate_bpm = 70.0;
  bool record_heart_rate = true;  // false: the DICOM file holds neither the rate nor the R-R interval
  double fwhm_mm = 13.0;      // 0: no blur
  double total_counts = 24.0e6;  // expected counts summed over every instant
  bool noise = true;
  // Reconstruction filters correlate the noise of neighbouring voxels: the Poisson deviations are
  // smoothed with this Gaussian and scaled back to the standard deviation of a 6.8 mm voxel's own
  // Poisson deviation, so a region's noise does not depend on the voxel size. 0: white noise.
  double noise_fwhm_mm = 12.8;
  uint64_t seed = 1;
  double rotation_deg = 0.0;  // in-plane rotation of the heart about the matrix centre
  double tilt_deg = 0.0;      // rotation of the (row, slice) plane about row centre, slice NCZ/2
  // Displacement of the whole scene (heart and body) after the rotation and tilt, in mm:
  // towards larger rows, columns and slices.
  double shift_row_mm = 0.0, shift_column_mm = 0.0, shift_slice_mm = 0.0;
  // The scene mirrored across the slices (about the centre slice), as a file whose slice order
  // does not match its patient position loads.
  bool mirror_slices = false;
  int supersample = 4;        // sub-samples per voxel edge
};

// Defaults for a matrix: 64 -> 6.8 mm, 128 -> 3.4 mm, slices = matrix, slice = pixel.
PhantomParams defaultParams(int matrix = 64);
// Empty when p can be built, else the reason (bad size, curve, or anatomy that cannot hold the volumes).
std::string validate(const PhantomParams& p);

// Structures, in membership priority (a point belongs to the first that contains it).
enum Structure : int {
  kLV = 0, kRV, kLA, kRA, kRVOutflow, kAorta, kPulmonaryTrunk, kLiver, kSpleen, kLungBackground, kStructureCount
};
const char* structureName(int s);

struct Phantom {
  PhantomParams params;
  // Per instant and structure: the volume the voxelisation gave, in ml (before blur).
  std::vector<std::array<double, kStructureCount>> voxelised_ml;
  // Analytic ventricular volumes per instant (ml), instant i at phase i / instants.
  std::vector<double> lv_true_ml, rv_true_ml;
  // Noise-free blood-equivalent volume per voxel after blur (ml), [t][z][x][y] in working pose order.
  std::vector<float> expected_ml;
  // Counts as stored in the files, same order; clipped at kMaxStoredCount.
  std::vector<uint16_t> counts;
  double counts_per_ml = 0;  // expected counts per ml of blood
  long long clipped_voxels = 0;

  size_t index(int t, int z, int x, int y) const {
    return ((static_cast<size_t>(t) * params.slices + z) * params.matrix + x) * params.matrix + y;
  }
};

// Largest count stored, so that the files read the same as signed or unsigned 16-bit.
inline constexpr uint16_t kMaxStoredCount = 32767;

// Weight 0..1 of the wall fault at a left-ventricular point of the heart frame (mm): 1 inside the
// faulty disc of the bull's-eye, 0 outside, a raised-cosine ramp across its edge.
double wallFaultWeight(const PhantomParams& p, double u, double v, double w);
// Weight 0..1 of the right free-wall fault at height u of the heart frame (mm).
double rvFreeWallFaultWeight(const PhantomParams& p, double u);
// Sector of a bull's-eye point (radius fraction f, angle theta from the slice axis towards the
// columns) in a 13, 17, 19 or 25-sector layout; 0 outside the disc.
int bullseyeSector(double f, double theta, int layout);
// Share of each sector's area (index 1..layout) inside the wall fault.
std::vector<double> faultShareBySector(const PhantomParams& p, int layout);

// The left-ventricular apex (it stays put over the cycle) in the working pose: row, column, slice.
std::array<double, 3> lvApexWorking(const PhantomParams& p);

// The heart origin (centre of the valve plane on the septum at end-diastole) as row, column and
// slice voxel indices of the working pose, and the long axis (apex towards base) as a unit vector
// in millimetres of rows, columns and slices: where a careful user puts the lines.
std::array<double, 3> heartOriginWorking(const PhantomParams& p);
std::array<double, 3> longAxisWorking(const PhantomParams& p);

// The left ventricle's blood (ml, before blur) in each segment of the 17-segment model at every
// instant, sampled on a grid of grid_mm in the heart frame. The frame is the one the regional
// analysis builds at end-diastole: long axis from the apex to the centre of the valve plane,
// angles from the septum (towards the right ventricle) with the anterior side towards the outflow
// tract (smaller slices of the working pose).
inline constexpr int kLvSegments = 17;
using SegmentVolumes = std::array<double, kLvSegments + 1>;  // index 1..17
std::vector<SegmentVolumes> lvSegmentVolumes(const PhantomParams& p, double grid_mm = 1.0);
// The same for the right ventricle's 7 segments (1 basal septal, 2 basal free wall, 3 mid septal,
// 4 mid free wall, 5 apical septal, 6 apical free wall, 7 apex), in the frame the regional analysis
// builds from the end-diastolic blood pool.
inline constexpr int kRvSegments = 7;
using RvSegmentVolumes = std::array<double, kRvSegments + 1>;  // index 1..7
std::vector<RvSegmentVolumes> rvSegmentVolumes(const PhantomParams& p, double grid_mm = 1.0);

// Builds the phantom; throws std::invalid_argument with validate()'s reason on bad parameters.
Phantom buildPhantom(const PhantomParams& p);

// Steps exposed for the tests and benchmarks.
// Voxelises instant t without blur into ml of blood per voxel; fills perStructureMl and, when
// given, the structure covering most of each voxel (kStructureCount where none) and the ml of
// structure `traced` in each voxel.
std::vector<float> voxeliseInstant(const PhantomParams& p, int t, std::array<double, kStructureCount>& perStructureMl,
                                   std::vector<uint8_t>* dominant = nullptr, int traced = -1,
                                   std::vector<float>* tracedMl = nullptr);
// Separable 3D Gaussian blur in place over [instants][slices][matrix][matrix]; zero outside.
void gaussianBlur(std::vector<float>& vol, int instants, int slices, int matrix, double sigmaXYvox, double sigmaZvox);
// Factor that restores the standard deviation of independent deviations after gaussianBlur.
double noiseRestoringGain(double sigmaXYvox, double sigmaZvox);
// Poisson deviate from a 64-bit Mersenne twister; the same sequence on every platform.
class PoissonSource {
 public:
  explicit PoissonSource(uint64_t seed);
  uint64_t sample(double mean);
  double uniform();  // [0, 1)

 private:
  std::mt19937_64 engine_;  // fully specified by the standard, unlike its distributions
};

}  // namespace quorvel::phantom
