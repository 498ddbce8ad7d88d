#pragma once
// The user's preferences, with their start-up defaults. The options file reads and writes them;
// every subsystem reads the values it needs from here.
namespace quorvel {

inline constexpr int kFallCriterionChoices = 4;

struct Options {
  int LANGUE = 0;  // 0 French, 1 English
  int RECH_8 = 1;  // re-bin 16 instants to 8 on loading
  int DEFAULT_format = 1;  // 1 DICOM, 2 IDB, 3 Interfile, 4 IMA
  int DEFAULT_ninst = 8;
  int DEFAULT_freq = 72;  // bpm when the file has none
  int DEFAULT_visu_type[2] = {0, 2};
  int DEFAULT_visu_coord = 1;
  int DEFAULT_visu_coordz = 1;
  int DEFAULT_visu_coordv = 1;
  int DEFAULT_tacfitswitch = 1;
  int TACFIT_ITvol = 10;
  int DEFAULT_compmax = 80;
  int DEFAULT_pentemin = 50;
  int ECH = 1000;
  int TT_ = 1;
  int TZ_ = 1;
  int TX_ = 1;
  int DEFAULT_sama = 48;
  int mesh_samP = 24;
  int DEFAULT_samr = 48;
  int palette = 1;
  int DEFAULT_seuil = 30;
  int DEFAULT_Vpond = 1;
  int gamma_ = 100;
  float visu_LUM = 65.0f;
  float visu_CONT = 10.0f;
  float visu_SPOT = 0.5f;
  float visu_LUM3D = 70.0f;
  float visu_CONT3D = 20.0f;
  int visu_arete[2] = {0, 0};
  int palette3D = 1;
  int pal3D = 0;
  float param_LUM = 50.0f;
  float param_CONT = 20.0f;
  int skel_fin = 4;
  int visu_nu = 0;
  int mesh_itpre = 2;
  int mesh_Pdiv = 24;
  int SECT_25 = 17;
  int Vplane_Size = 500;
  int Vplane_Gap = 20;
  unsigned char BK_r = 40, BK_g = 40, BK_b = 40;
  int UNDO_max = 10;
  int Fich_3D = 0;
  int VLA_proj = 0;
  int seg_interp = 1;
  int visu_interp = 1;
  int RESEXP_type = 2;
  int RESEXP_1024 = 1;
  int short_axis = 0;  // the acquisition files hold short-axis slices
  int equilibrium = 1;
  int REPROJ = 0;      // reprojection mode
  // Ours, after the fields above in the options file: the automatic placement is proposed as a
  // study is opened.
  int proposePlacementOnOpen = 1;
  // The criterion a fall of the left ejection fraction between two exams is judged by (the
  // serial comparison's list, 0: a fall of 10 points to below 50 %).
  int fallCriterion = 0;

  // Working copies derived from the options.
  float TACFIT_COMPMAX = 0.8f;  // DEFAULT_compmax / 100
  float TACFIT_PTMIN = 0.5f;    // DEFAULT_pentemin / 100
};

}  // namespace quorvel
