#pragma once
// The parametric maps unrolled into a polar bull's-eye per ventricle (apex at the centre, valve
// plane at the rim), the 13, 17, 19 or 25 sectors with their means, the sector outline and the
// placement and texts of the per-sector labels.
#include <array>
#include <string>

#include "model3d/model3d_state.h"

namespace quorvel {

// The sector layouts of the option "Secteurs 3D"; anything else is taken as 17.
int sectorLayout(int SECT_25);

// Disc mask, unrolling of the six maps of ventricle v (0 left, 1 right), filling and smoothing
// (circular for the three time maps).
void BULLSEYE_BUILD(const MeshModel& mesh, const RegionalMaps& maps, BullsEye& eye, int v);

// Sector number of bull's-eye pixel (row, col) in a layout: 0 outside the disc, 1 the apex.
int sectorOf(int row, int col, int SECT_25);

// Sector numbers of every pixel and the sector means of ventricle v (circular for times); widens
// inst_depol_min and inst_depol_max with its end-systole sectors. Returns 0.
int DEF_SECTORS(BullsEye& eye, int v, int SECT_25, int Ninst);

// Sector outline into mesh_sect_bord; with show 1 (and mesh_sect_grad 1) the labels of sectors
// 0..SECT_25 are shown and the others hidden. Returns 0.
int DEFINE_BULLSEYE_BORD(BullsEye& eye, int SECT_25, int show, int mesh_sect_grad);

// One label over the bull's-eye: pixel position (row, column) of its centre, shown or not, text.
struct SectorLabel {
  int row = 0, col = 0;
  bool shown = false;
  std::string text;
};
// Labels of both result panels ([0] the right ventricle, [1] the left) for map mesh_visu.
std::array<std::array<SectorLabel, kSectorSlots>, 2> BULLSEYE_LABELS(const BullsEye& eye, const RegionalMaps& maps,
                                                                       int SECT_25, int mesh_visu, const StudyRecord& s);

}  // namespace quorvel
