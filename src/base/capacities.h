#pragma once
// Fixed capacities of the data model. The exam file and every per-instant table rely on them.
namespace quorvel {

inline constexpr int kMatrix = 64;                       // in-plane working matrix, rows and columns
inline constexpr int kSliceVoxels = kMatrix * kMatrix;   // one working slice
inline constexpr int kMaxInstants = 16;                  // per-instant tables are sized for 16
inline constexpr int kMaxSlices = 128;                   // NCZ limit
inline constexpr int kMaxLabels = 999;                   // watershed regions
inline constexpr int kMeshSize = 128;                    // mesh node grid
inline constexpr int kMaxFileImageSide = 1024;           // refuse file images larger than this
inline constexpr int kVentricleRows = 3;                 // [3][16] tables: row 0 unused, 1 = G, 2 = D
inline constexpr int kViews3D = 12;
inline constexpr int kPreviewPanes = 2;  // the preview's frames: views 0 and 1

}  // namespace quorvel
