#pragma once
// Mouse of the re-orientation stage, in pixels of its pictures: the square of step 0 is dragged
// with the primary button and turned with the secondary one; in step 2 the primary button places
// the infundibulum plane on the long-axis panel.
#include "ui/workstation.h"

namespace quorvel {

void squarePress(Workstation& ws, int x, int y);
// Moves the square by the whole voxels between the press and (x, y).
void squareDrag(Workstation& ws, int x, int y);
// The square turns to point at (x, y).
void squareTurn(Workstation& ws, int x, int y);
// The infundibulum plane at height y of the long-axis panel. False when not in step 2.
bool infundibulumAt(Workstation& ws, int y);

}  // namespace quorvel
