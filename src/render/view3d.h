#pragma once
// The 3D views: a software z-buffer rasteriser of the ventricle meshes into a 512 x 512 picture.
// Beside the picture it keeps, for every pixel, the depth, map value, shade, tag, triangle and
// ventricle drawn there; picking reads the last two. The view turns and zooms through its axis
// vectors and scale only, so the front ends translate their own pointer moves.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/bitmap.h"
#include "model3d/model3d_settings.h"
#include "model3d/model3d_state.h"
#include "render/palettes.h"

namespace quorvel {

inline constexpr int kVisuSide = 512;
inline constexpr float kVisuCleared = -999.9f;

// Pixel tags: background or outline, the three model axes, the two ventricles.
inline constexpr uint8_t kTagBackground = 0, kTagAxis1 = 4, kTagAxis3 = 5, kTagAxis2 = 6;
inline constexpr uint8_t kTagLeft = 201, kTagRight = 202;
// Preview overlays: skeleton, valve-plane ring and its two tilt axes.
inline constexpr uint8_t kTagSkeleton = 7, kTagValveRing = 8, kTagValveAxis0 = 9, kTagValveAxis1 = 10;

struct Visu3DBuffers {
  // Row (0 at the top) x 512 + column.
  std::vector<float> VISUH;    // depth, larger is nearer
  std::vector<float> VISUN;    // map value 0..100
  std::vector<float> VISUMAP;  // shade 8..92
  std::vector<uint8_t> VISUV;  // tag
  std::vector<int> VISUAR;     // triangle, -1 none
  std::vector<uint8_t> VISUARV;  // ventricle 1 left, 2 right, 0 none
  Bitmap24 BMPvisu{kVisuSide, kVisuSide};

  void clear();
  static size_t at(int row, int col) { return static_cast<size_t>(row) * kVisuSide + col; }
};

// What the picture shows besides the view's own axes, scale and ventricle.
struct Visu3DSettings {
  int mesh_double = 1;   // both ventricles
  int mesh_visu = 0;     // map 0..5
  int visu_activ = 0;    // regional activity of the instant instead of a map
  int mesh_param = 1;    // sector outlines
  int SECT_25 = 17;
  int visu_interp = 1;   // shade and value interpolated inside each triangle
  int pal3D = 0;
  int rendu3D = 0;       // plain colours, no map
  int bordure_paint = 0;
  float visu_LUM3D = 70.0f, visu_CONT3D = 20.0f;
};
Visu3DSettings visu3DSettingsOf(const Options& opt, const Model3DSettings& set);

struct ProjectedPoint {
  int row = 0, col = 0;
  float depth = 0;
};

// Model (voxel units) to screen: scaled about the centre, turned by the view's axis vectors; the
// centre lands at row and column 256.
struct Visu3DProjection {
  std::array<float, 3> axis1{}, axis2{}, axis3{};
  float s = 1;
  float cx = 0, cy = 0, cz = 0;
  // q in the scaled, centred frame.
  ProjectedPoint ofScaled(float q1, float q2, float q3) const;
  ProjectedPoint operator()(Vec3f p) const {
    return ofScaled(-8 * s * (p.x - cx), 8 * s * (p.y - cy), -8 * s * (p.z - cz));
  }
};
// The centre is the integer part of the mid-point of the bounding box (min, max).
Visu3DProjection projectionOf(const View3D& view, Vec3f min, Vec3f max);

// The 3D results picture of instant t: the full mesh of the view's ventricle, or of both, coloured
// by the map (or the activity), with the axes and sector outlines asked. Returns 0.
int BUILD_VISU_3D(const MeshModel& mesh, int t, const View3D& view, const Visu3DSettings& set, const Table3D& table,
                  const PalMap& PAL_map, Visu3DBuffers& out);

// What a preview frame shows of the ventricles (its visu_type): the preview mesh, the surface
// voxels of the label volume the mesh was built from, or both (voxels the mesh misses show
// through its surface).
inline constexpr int kPreviewMesh = 0, kPreviewVoxels = 1, kPreviewMeshAndVoxels = 2, kPreviewDisplays = 3;
// Preview tags: voxel squares of each ventricle and of the atria, the mesh's edges.
inline constexpr uint8_t kTagVoxelLeft = 11, kTagVoxelRight = 12, kTagVoxelAtria = 13;
inline constexpr uint8_t kTagEdgeLeft = 14, kTagEdgeRight = 15;

// How a preview frame is drawn. The overlays go on top of everything: the skeleton from the valve
// centre to the apex, and the valve plane as a ring with its two tilt axes (green: axis 0, yellow:
// axis 1); nothing for a ventricle and instant without a valve normal. Voxels, atria and the scale
// bar need the label volume and the study's voxel sizes.
struct PreviewLook {
  const SkeletonModel* skel = nullptr;
  const StudyRecord* study = nullptr;
  int display = kPreviewMesh;
  bool edges = false;                // the mesh's visible edges instead of its shaded surface
  bool atria = false;                // the surface voxels of the other structures (the atria)
  bool skeleton = false;
  std::array<bool, 2> valvePlane{};  // [0] left, [1] right
  float planeRadius = 12;            // voxels
  bool scaleBar = false;             // a bar of whole centimetres, bottom left
  bool active = false;               // the frame takes the keys: yellow border
};

// The preview of instant t: the ventricles shown (0 both, 1 the left alone, 2 the right alone)
// through the same rasteriser in grey, as the look asks. The centre is that of every instant
// below Ninst, so that the cine does not shift the picture.
void buildPreviewPicture(const MeshModel& mesh, int t, int Ninst, int shown, const View3D& view,
                         const Visu3DSettings& set, Visu3DBuffers& out, const PreviewLook& look = {});
// Length in pixels and in millimetres of the preview's scale bar: the most whole centimetres
// (1, 2, 5 or 10) that fit in kScaleBarMax pixels, at scale s with voxels of cmPerUnit centimetres.
inline constexpr int kScaleBarMax = 200;
struct ScaleBar {
  int pixels = 0, mm = 0;
};
ScaleBar scaleBarOf(float s, float cmPerUnit);

// The triangle drawn at (row, col) of the last picture; nothing over the background, an outline
// or outside the picture.
struct PickedTriangle {
  int ventricle = 0;  // 1 left, 2 right
  int triangle = -1;
};
std::optional<PickedTriangle> pickTriangle(const Visu3DBuffers& b, int row, int col);

// Turns every axis vector by the angles a (about the view's row axis) and b (about its column
// axis), in radians, then scales each to unit length (no orthogonalisation).
void ROTATE_VISU_AXES(View3D& view, double a, double b);
void NORMALIZE_VISU_AXES(View3D& view);
// Changes the scale by step percent, within 50..200.
void ZOOM_VISU(View3D& view, int step);

// The display windows of the maps as the colour table reads them (integer percent).
std::array<MapWindows, 2> mapWindowsOf(const MapRanges& ranges);

// The bull's-eye of map mesh_visu for both ventricles side by side (right ventricle first, as the
// result panels), sector outlines in black. With values, those of the sectors whose labels are
// shown are written over them; by sector, every sector takes the colour of its mean instead of
// its pixels'.
struct BullseyeLook {
  bool values = true;     // mesh_sect_grad
  bool bySector = false;  // mesh_Hsect
};
Bitmap24 bullseyePicture(const BullsEye& eye, const RegionalMaps& maps, const StudyRecord& s, int mesh_visu,
                         int SECT_25, int pal3D, const Table3D& table, const PalMap& PAL_map, int LANGUE,
                         BullseyeLook look = {});

}  // namespace quorvel
