#pragma once
// Mouse and keys of the segmentation stage and of its retouching window. Positions are view
// pixels of the picture they fall on; each handler finds the voxel once, through the view's
// geometry, and calls the correction it stands for.
#include "ui/input_events.h"
#include "ui/workstation.h"

namespace quorvel {

// Press: none -> snapshot and assign (primary: right ventricle, secondary: left ventricle);
// Ctrl -> upper, Shift -> lower slice limit of that ventricle at the current instant.
void segButtonPress(Workstation& ws, MouseButton b, KeyModifiers m, int x, int y);
// Double click with Ctrl or Shift: the same limit at every instant. Without them: nothing.
void segDoubleClick(Workstation& ws, MouseButton b, KeyModifiers m, int x, int y);
// Release: ends the action; a brush stroke still pending gets its statistics recounted.
void segButtonRelease(Workstation& ws);
// Move: closes the retouching window, hovers, and drags the assignment while a button or a
// marking key is down.
void segMouseMove(Workstation& ws, int x, int y);

// Marking keys, held: up arrow class 13, down arrow class 3, Escape class 7. Ignored while a
// marking is under way or the retouching window is open; else snapshot and mark the region under
// (x, y). Returns true when the marking started. The release restores the action held before.
bool markKeyDown(Workstation& ws, int cls, int x, int y);
void markKeyUp(Workstation& ws);

// The slice lock keys with the pointer at (x, y): lock, unlock.
bool lockSliceAt(Workstation& ws, int x, int y);
bool unlockSliceAt(Workstation& ws, int x, int y);
// Opens the retouching window on the slice under (x, y).
bool openRetouchingAt(Workstation& ws, int x, int y);

// Retouching window, in its own pixels. Without painting a move picks the brush's label; with
// painting on it paints (where painting may start).
void retouchMove(Workstation& ws, int x, int y);
void retouchPress(Workstation& ws, int x, int y);
void retouchRelease(Workstation& ws);

}  // namespace quorvel
