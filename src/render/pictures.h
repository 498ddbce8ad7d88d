#pragma once
// The pictures one session keeps between redraws, and the colour tables they are drawn through.
// The workstation owns one; every build writes into it. The mosaic canvas lives with its grid
// (SegmentationLayout).
#include "base/bitmap.h"
#include "base/options.h"
#include "render/palettes.h"

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
};

// The start-up build of the tables: the palette and the 3D table of the options, the class
// colours of seed, the legend drawn.
void preparePictures(Pictures& p, const Options& opt, unsigned seed);

}  // namespace quorvel
