#pragma once
// The picture of the segmentation stage: one instant as a mosaic of slices, counts on the left
// with the class outlines drawn over them, classes on the right with the slice-limit frames of
// both ventricles; the valve-plane and septum dots and the brush ring; and the picture of the
// retouching window.
#include <optional>

#include "base/trace_log.h"
#include "render/pictures.h"
#include "render/segmentation_layout.h"
#include "render/view_geometry.h"
#include "segmentation/segmentation_state.h"
#include "study/loading.h"

namespace quorvel {

// Where the pointer stands in the pictures that draw a brush ring, in each view's own pixels.
struct Pointers {
  std::optional<ViewPoint> segmentation;  // mouse_i, mouse_j of the mosaic
  std::optional<ViewPoint> retouching;
};

// The grid of the mosaic in grey level g: columns 0, 128, ... and the last one; lines likewise.
void INIT_BMP_CADRE(int g, SegmentationLayout& view);

// Builds the mosaic canvas view.BMP for instant t; cells beyond the last slice are black. When
// the retouching window is open its picture is rebuilt too.
void BUILD_BMP_SEG(int t, const StudyWorkspace& w, const Segmentation& seg, Pictures& pictures,
                   SegmentationLayout& view, TraceLog& log, const Pointers& pointers = {});

// The retouching window: slice retouche_slice of the current instant at 4 x 4 pixels per voxel,
// counts with the class boundaries drawn on the voxels' edges in their class colours, the voxels
// of the brush's label dotted, and the brush ring at the pointer while a paint button is pressed.
void buildRetouchingPicture(const StudyWorkspace& w, const Segmentation& seg, Pictures& pictures,
                            std::optional<ViewPoint> pointer);

// Class-colour entry of a voxel (instant t, slice z, voxel index i) in the class panel: its class,
// or the frozen class in a locked slice (entry 33 for background); plus 3 when it is the hovered
// region; below its class threshold with equilibrium off, 0, or plus 13 when hovered.
int classEntry(const StudyWorkspace& w, const Segmentation& seg, int t, int z, size_t i);

}  // namespace quorvel
