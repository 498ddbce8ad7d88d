#pragma once
// Regional function in a frame fixed at end-diastole. A ventricle's region is
// every voxel its measured volume holds at some instant of the cycle; each
// voxel lies in one segment of the frame (the 17 segments of the left ventricle
// in the cardiology societies' numbering, 7 of the right ventricle). At every
// instant the measured volume is shared among the segments by their counts
// over the region, less a background fitted over the cycle, so the segment
// curves add up to the measured volume curve, and a wall that the blur dims
// under the threshold at end-systole keeps its counts. Each segment's curve
// gives its ejection fraction, time to minimum and peak rates. Beside them, the
// first-harmonic phase of every ventricle voxel's counts and the dyssynchrony
// indices of both ventricles.
//
// Frame of a ventricle: long axis from its end-diastolic apex to the centre of
// its end-diastolic valve plane (the model's skeleton at the instant of largest
// volume). Depth h along it: 0 at the apex, 1 at the valve centre. Angles are
// measured around it from the septal direction: for the left ventricle the mean
// direction of the right ventricle's voxels at mid depth, for the right
// ventricle the direction of the left ventricle's. The anterior side is the
// study's cranial side: smaller slices as a head-first study loads, larger
// for a feet-first one.
//
// Left ventricle (numbering of the 17-segment model): apex cap 17 (h < 0.1);
// apical third 13 anterior, 14 septal, 15 inferior, 16 lateral (quarters
// centred on those directions); mid third 7 anterior, 8 anteroseptal, 9
// inferoseptal, 10 inferior, 11 inferolateral, 12 anterolateral; basal
// third 1..6 alike (h >= 2/3). The sixths start at the anterior junction,
// placed 60 degrees from the septal direction towards the anterior side.
// Right ventricle: 1 basal septal, 2 basal free wall, 3 mid septal, 4 mid free
// wall, 5 apical septal, 6 apical free wall, 7 apex (h < 0.1); septal is within
// 90 degrees of the septal direction.
#include <array>
#include <string>
#include <vector>

#include "model3d/model3d_state.h"

namespace quorvel {

inline constexpr int kLeftSegments = 17;
inline constexpr int kRightSegments = 7;
inline constexpr int kMaxSegments = kLeftSegments;
inline constexpr float kApexCapDepth = 0.1f;        // depth share of the apex cap
inline constexpr float kApicalEndDepth = 1.0f / 3;  // apical third ends here
inline constexpr float kMidEndDepth = 2.0f / 3;     // mid third ends here
inline constexpr float kJunctionFromSeptumDeg = 60.0f;
inline constexpr int kPhaseBins = 360;               // one-degree bins of the phase histogram
inline constexpr float kPhaseAmplitudeShare = 0.4f;  // voxels below this share of the ventricle's
                                                     // 99th-percentile amplitude are left out

// Segment (1-based) of a point at depth h and angle phi (degrees from the
// septal direction, positive towards the anterior side) of the left or the
// right ventricle's scheme.
int leftSegmentAt(float h, float phiDeg);
int rightSegmentAt(float h, float phiDeg);
// Names of the segments, e.g. "basal anterior"; index 1-based.
const char* leftSegmentName(int segment);
const char* rightSegmentName(int segment);

struct VentricleFrame {
  bool valid = false;
  int edInstant = 0;
  Vec3f apex, valveCentre;
  Vec3f axis;  // unit, apex towards the valve
  float length = 0;
  Vec3f septal;                   // unit, perpendicular to the axis
  Vec3f anterior;                 // unit, perpendicular to both
  bool septalFromVoxels = false;  // false: the other ventricle had no voxel to point at it
  // Depth (0 apex, 1 valve) and angle (degrees from septal, towards anterior)
  // of a model point.
  void locate(Vec3f p, float& h, float& phiDeg) const;
};

// Results of one segment: its volume at every instant and what its curve gives.
// Times are from the curve's Fourier series of low order (sub-instant), in per
// cent of the cycle and in ms; rates in end-diastolic volumes per second.
struct SegmentResult {
  std::array<float, kMaxInstants> ml{};
  float edvMl = 0, esvMl = 0;
  float ef = 0;  // per cent of its end-diastolic volume
  float timeToMinPct = 0, timeToMinMs = 0;
  float peakEjectionRate = 0, peakFillingRate = 0;
};

struct PhaseIndices {
  int voxels = 0;                             // voxels kept by the amplitude mask
  float meanDeg = 0;                          // circular mean, 0..360 (time of the harmonic's minimum)
  float sdDeg = 0;                            // about the circular mean
  float bandwidthDeg = 0;                     // width holding the central 95 % of the voxels
  float entropyPct = 0;                       // of the 1-degree histogram, 100 % when flat
  float synchrony = 0;                        // amplitude-weighted resultant length, 1 when all in phase
  std::array<float, kPhaseBins> histogram{};  // share of the voxels per degree
};

struct VentricleSegments {
  VentricleFrame frame;
  int count = 0;                                           // 17 or 7
  std::array<SegmentResult, kMaxSegments + 1> segments{};  // index 1..count
  float dyssynchronyPct = 0,
        dyssynchronyMs = 0;  // SD of the segments' times to minimum
  PhaseIndices phase;      // of the voxels' counts
  PhaseIndices nodePhase;  // of the full mesh's regional curves, when the mesh is built
};

struct SegmentalAnalysis {
  bool valid = false;
  int Ninst = 0;
  std::array<VentricleSegments, 2> ventricles;  // 0 left, 1 right
  float phaseDelayMs = 0;                       // left mean phase minus right, in ms of the cycle
};

// The whole analysis from the segmentation, the measured-volume settings and
// the model's skeleton (apex and valve of each ventricle at every instant).
// Invalid when a ventricle has no voxel or no skeleton.
SegmentalAnalysis analyseSegments(const ModelInputs& in, const SkeletonModel& skel, int volume_voxels);
// The same, with the phase of every fitted node's regional curve; m's full mesh must be current
// (just computed, or read from an exam).
SegmentalAnalysis analyseSegments(const ModelInputs& in, const Model3D& m, int volume_voxels);

// A curve's ejection fraction, time to minimum and peak rates (exposed for the
// phantom's truth, which must read its segment curves the same way):
// ml[0..Ninst-1], ED at instant ed.
void describeSegmentCurve(SegmentResult& r, int Ninst, int ed, float cycleMs);
// Phase indices of a set of voxel phases (degrees) and amplitudes.
PhaseIndices phaseIndices(const std::vector<float>& phaseDeg, const std::vector<float>& amplitude);

}  // namespace quorvel
