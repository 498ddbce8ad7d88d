#include "ui/reorientation_input.h"

#include "render/view_geometry.h"

namespace quorvel {

void squarePress(Workstation& ws, int x, int y) {
  ws.input.dragStartX = x;
  ws.input.dragStartY = y;
  beginSquareDrag(ws.w.settings.reorient);
}

void squareDrag(Workstation& ws, int x, int y) {
  const auto [rows, cols] = reorientDragVoxels(x - ws.input.dragStartX, y - ws.input.dragStartY);
  dragSquare(ws.w.settings.reorient, rows, cols);
}

void squareTurn(Workstation& ws, int x, int y) {
  const auto [row, col] = reorientVoxelAt(x, y);
  pointSquareAt(ws.w.settings.reorient, row, col);
}

bool infundibulumAt(Workstation& ws, int y) {
  SegmentationContext c = ws.segmentation();
  return setInfundibulumSlice(c, reorientLongAxisSliceAt(y, ws.w.study.NCZ));
}

}  // namespace quorvel
