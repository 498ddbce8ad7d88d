#pragma once
// Pointer, keys and controls of the two 3D stages: the view of the stage turned by a drag with the
// primary button and zoomed by a drag with the secondary one, the wheel or Page up / down (scale
// 50..200); a point of the results view picked by a press, or by hovering while the point curves
// are on, and its regional curve fitted; the windows of the result panels edited by presses and
// drags; the preview sliders. Coordinates are in the pixels of the view's picture.
#include "ui/input_events.h"
#include "ui/workstation.h"

namespace quorvel {

// The 3D views and the result panels; false for other views or outside their stage.
bool model3DPress(Workstation& ws, View view, int x, int y, MouseButton b);
bool model3DDoubleClick(Workstation& ws, View view, int x, int y, MouseButton b);
bool model3DMove(Workstation& ws, View view, int x, int y);
bool model3DRelease(Workstation& ws, View view, MouseButton b);
bool model3DWheel(Workstation& ws, View view, int steps);
// Keys of the 3D stages; true when used. The frames taking keys (the results view, or the preview
// frames not deactivated by a double click) zoom, show their axes, and in the preview their scale
// bar, reference views and display mode. The results choose the map and the point curves; the
// preview its edge mode, atria, skeletons, valve planes and their size, shading, mesh fineness and
// smoothing (C, L, W, Q held + arrows up / down), and the adjustments of the ventricle shown alone.
bool model3DKey(Workstation& ws, Key key, KeyModifiers m);

// The ventricle the preview adjusts (1 left, 2 right): the right when shown alone, else the left.
int previewVentricle(const Workstation& ws);
// Tab in the preview: the next of left, right, both in both frames, or, when the displayed
// ventricles are not synchronised, in each frame taking keys. The sliders and the valve keys
// adjust what the first frame shows.
void nextPreviewVentricles(Workstation& ws);
// Both frames of the preview are to be drawn again.
void previewPicturesChanged(Workstation& ws);

// The picked point under pixel (x, y) of the results view, as it is drawn now: its entry (the
// ventricle's: 0 left, 1 right) takes the triangle and its curve is fitted. False over no mesh.
bool pickResultsPoint(Workstation& ws, int x, int y);
// Fits again the curves of both picked entries (after a change of map, language or model).
void refreshPickedCurves(Workstation& ws);

// The desktop's controls of the 3D results: the map shown (0..5) and the ventricles (0 both,
// 1 left, 2 right).
void chooseMap(Workstation& ws, int mesh_visu);
void chooseVentricles(Workstation& ws, int shown);
int ventriclesShown(const Workstation& ws);

// The preview sliders of the ventricle shown alone: the cylindrical/spherical transition (C/S,
// 0..kCsSliderScale) and the skeleton curvature of the current instant (Cr, 0..kCrSliderScale).
// They act only while one ventricle is shown.
enum class PreviewSlider { CylinderSphere, Curvature };
void previewSlider(Workstation& ws, PreviewSlider which, int position);
int previewSliderPosition(const Workstation& ws, PreviewSlider which);
bool previewSlidersActive(const Workstation& ws);

}  // namespace quorvel
