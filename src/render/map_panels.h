#pragma once
// The result panels of the 3D results: per ventricle the histogram of the displayed map with its
// statistics window, the palette bar of the map colours with its display window, the result
// texts and the fitted curve of the picked point. Each builder takes the state it shows and
// returns a fresh picture, so that the stage and the reports compose them as they need.
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "base/bitmap.h"
#include "model3d/model3d_settings.h"
#include "model3d/model3d_state.h"
#include "model3d/regional.h"
#include "render/palettes.h"

namespace quorvel {

// Geometry of one ventricle's panel, in its own pixels (y from the top). A value 0..100 sits at
// x = kPanelValueX + 2 x value; the histogram's highest bin (150) reaches kHistogramTop.
inline constexpr int kMapPanelWidth = 300;
inline constexpr int kPanelValueX = 27;
inline constexpr int kPaletteBarTop = 40, kPaletteBarBottom = 55;
inline constexpr int kHistogramTop = 65, kHistogramBottom = 215;
inline constexpr int kHistogramPanelHeight = 236;  // title, palette bar, histogram and its scale
inline constexpr int kResultTextLines = 7;
inline constexpr int kTextLineHeight = 10;
inline constexpr int kCurveCaptionLines = 2;
inline constexpr int kMapPanelHeight = kHistogramPanelHeight + kResultTextLines * kTextLineHeight + 8 +
                                       kCurvePictureHeight + kCurveCaptionLines * kTextLineHeight + 8;

// What the panels of the displayed map read.
struct MapPanelInputs {
  const RegionalMaps& maps;
  const MapRanges& ranges;
  const StudyRecord& study;  // cycle length for the times in milliseconds
  const Table3D& table;
  const PalMap& PAL_map;  // as UPDATE_PAL_MAP left it for these ranges
  int mesh_visu = 0;
  int pal3D = 0;
  int LANGUE = 0;
};

// Palette bar and histogram of ventricle v (0 left, 1 right): kMapPanelWidth x kHistogramPanelHeight.
// The bars inside the statistics window (cmin..cmax, wrapping for the time maps) take the map's
// colours, those outside it grey; both window bounds are drawn across the histogram and the
// display window's bounds are marked on the palette bar with their values.
Bitmap24 mapHistogramPanel(const MapPanelInputs& in, int v);

// The map's value (0..100 of its common scale) in its units, as the palette bar and the scale
// under the histogram write it: %, ms, or end-diastolic volumes per second (ejection negative).
std::string mapValueText(const MapPanelInputs& in, int value);

// Text lines (split at '\n', long lines wrapped at spaces) on the panel's background, width wide,
// at least `lines` lines high.
Bitmap24 textPanel(std::string_view text, int width, int lines);

// The picked-point curve, 300 x 80: the fitted curve, the measured instants as 3 x 3 dots, the
// marker of the displayed map's time; blank when the curve is not valid.
Bitmap24 meshCurvePicture(const MeshCurve& c);

// Ventricle v's whole panel: histogram panel, its result text (AFFICHAGE_RES_MESH of that
// ventricle), the picked-point curve and its caption; kMapPanelWidth x kMapPanelHeight.
Bitmap24 mapResultPanel(const MapPanelInputs& in, int v, std::string_view resultText, const MeshCurve& curve);

// The panel value under panel pixel x: (x - 27) / 2 clamped to 0..100.
int panelValueAt(int x);

// Which bound a press in a ventricle panel sets: the statistics window over the histogram, the
// display window over the palette bar (the lower bound with the primary button). Nothing outside.
enum class PanelBound { WindowMin, WindowMax, PaletteMin, PaletteMax };
std::optional<PanelBound> panelBoundAt(int x, int y, bool primary, bool dragging);

// The bound of map mesh_visu of ventricle v (0 left, 1 right) as the panels edit it.
int& windowBound(RegionalMaps& maps, int mesh_visu, int v, bool upper);
float& paletteBound(MapRanges& ranges, int mesh_visu, int v, bool upper);

// Both panels side by side, right ventricle first as the stage shows them, for pictures files.
Bitmap24 mapPanelsPicture(const MapPanelInputs& in, const std::array<std::string, 2>& resultTexts,
                          const std::array<MeshCurve, 2>& curves);

}  // namespace quorvel
