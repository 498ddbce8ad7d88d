#pragma once
// The pictures one session keeps between redraws, and the colour tables they are drawn through.
// The workstation owns one; every build writes into it. The mosaic canvas lives with its grid
// (SegmentationLayout).
#include <array>

#include "base/bitmap.h"
#include "base/options.h"
#include "model3d/model3d_settings.h"
#include "model3d/model3d_state.h"
#include "model3d/regional.h"
#include "render/palettes.h"
#include "render/view3d.h"

namespace quorvel {

inline constexpr int kRetouchViewSide = 256;  // one slice at 4 x 4 pixels per voxel

struct Pictures {
  Bitmap24 BMPfich{512, 512};                   // re-orientation view
  Bitmap24 BMPvg{512, 400}, BMPvd{512, 400};    // volume curves: left, right ventricle
  Bitmap24 BMPal{kLegendWidth, kLegendHeight};  // palette legend bar
  Bitmap24 BMPretouche{kRetouchViewSide, kRetouchViewSide};  // retouching window
  Bitmap24 curvesPanel;  // both curve plots with their titles and labels, for reports and scripts

  // The 2D tables are usable before start-up has read the options (palette 1, the default seed);
  // the 3D table is built by preparePictures.
  LookupTable lut = lookupTableOf(1);
  ClassColours FRON = classColoursOf(kDefaultColourSeed);
  Table3D table3D;
  PalMap PAL_map{};

  int EPFront = 1;  // width in pixels of the class outlines drawn over the counts

  std::array<Visu3DBuffers, kPreviewPanes> preview3D;  // the two frames of the pre-visualisation
  Visu3DBuffers visu3D;     // the 3D results view
  Bitmap24 bullseye;        // both bull's-eyes of the displayed map
  Bitmap24 segmental;       // segments in the end-diastolic frame and phase histograms
  std::array<Bitmap24, 2> mapPanel;  // result panels of the 3D results: [0] left, [1] right ventricle
};

// The start-up build of the tables: the palette and the 3D table of the options, the class
// colours of seed, the legend drawn.
void preparePictures(Pictures& p, const Options& opt, unsigned seed);

// The 3D pictures of the model at instant t, drawn from the study's 3D settings: a frame of the
// preview (pane 0 or 1: views 0 and 1) of the ventricles chosen by visu_no (the second frame's own
// choice when the displayed ventricles are not synchronised), an active frame marked
// when asked; the results view (view 2) and the bull's-eyes of the displayed map. The results
// draws first rebuild PAL_map from the map windows.
const Bitmap24& drawPreview3D(Pictures& p, const Model3D& m, const Model3DStudySettings& s, const Options& opt,
                              const StudyRecord& study, int t, int pane, bool markActive);
const Bitmap24& drawResults3D(Pictures& p, const Model3D& m, const Model3DStudySettings& s, const Options& opt, int t);
// Ventricle v's result panel (0 left, 1 right) of the displayed map with the curve of its picked point.
const Bitmap24& drawMapPanel(Pictures& p, const Model3D& m, const Model3DStudySettings& s, const Options& opt,
                             const StudyRecord& study, int v, const MeshCurve& curve);
const Bitmap24& drawBullseye(Pictures& p, const Model3D& m, const Model3DStudySettings& s, const Options& opt,
                             const StudyRecord& study);

}  // namespace quorvel
