#pragma once
// Per-study settings of the two-dimensional stages, reset for each new study. Default member
// values are the reset values, so a field added here is reset with the others. The 3D settings
// live in the 3D subsystem, the keys and buttons held in the user interface.
#include <array>
#include <string>
#include <vector>

#include "base/capacities.h"

namespace quorvel {

using InstantTable = std::array<int, kMaxInstants>;
template <typename T>
using VentricleTable = std::array<std::array<T, kMaxInstants>, kVentricleRows>;  // [v][t], v 1 = G, 2 = D

inline constexpr size_t kCommentSize = 8000;

struct WorkflowState {
  int IDB_loaded = 0;
  int fich_axis = 0;
  int stade_axis = 1;
  int SAVE_PATH = 0;
  std::string chemin_save;  // the exam file of this study, once saved or opened
  int preview_run = 0;
  int segment_done = 0;
  int Previsu_OK = 0;
  int vidange_done = 0;
  int build_visu = 0;
  int depol_run = 0;
  int timer_base = 250;   // ms, cine
  int timer_base2 = 250;  // ms, depolarisation animation
  int SEG_sel = 1;
  int disp_seuil = 0;  // threshold display of the count pictures (saved in the exam)
  int N_segsel = 0;
  int N_coupesel = 0;
  std::string comment, comment2;
  int retouche_on = 0;
  int Paint_on = 0;
  int Paint_type = 0;
  int Paint_no = 0;
  int Paint_sz = 3;
  int segment_updt1 = 1;
  int segment_updt2 = 1;
  int UNDOseg_pos = 0;
  int UNDOseg_lev = 0;
  std::vector<int> undoLabelsIssued;  // NREG when each undo slot was written (0: unknown)
  // Corrections by hand of the segmentation.
  int retouche_slice = 0;
  int Paint_reg = 0;      // label the brush writes
  int paintPending = 0;  // labels painted since the region statistics were last recounted
  int infuButton = 0;    // infundibulum button shown pressed; any change of the right ventricle turns it off
};

inline constexpr int kMaxValidationRecords = 100;

// One record per validated re-orientation step, so that a template can replay them.
struct ValidationRecords {
  int N_list = 0;
  int C_list = 0;
  int LIST_PROC = 0;
  std::array<int, kMaxValidationRecords> list_fich_axis{};
  std::array<float, kMaxValidationRecords> list_rotation{};
  std::array<float, kMaxValidationRecords> list_valve_angle{};
  std::array<int, kMaxValidationRecords> list_recad_x{}, list_recad_y{}, list_recad_t{};
};

struct ReorientSettings {
  int recad_x = 32;
  int recad_y = 32;
  int recad_t = 32;
  int recad_x0 = 32;
  int recad_y0 = 32;
  float rotation = 0;
  int coupesag = 31;
  int coupevla = 31;
  int valves_planaff = 1;
  float valves_angle = 0;
  int valves_plano_ = 32;
  int septum_plano = 32;
  int infand_plane = 0;
  ValidationRecords records;
};

struct SliceLimits {
  InstantTable limG_inf{}, limG_sup{}, limD_inf{}, limD_sup{};
};

struct CurveSettings {
  int TACFIT_switch = 1;  // the fitting method of this study (0..5)
};

struct PerStudySettings {
  WorkflowState flow;
  ReorientSettings reorient;
  SliceLimits limits;
  CurveSettings curves;
};

}  // namespace quorvel
