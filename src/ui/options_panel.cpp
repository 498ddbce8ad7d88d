#include "ui/options_panel.h"

namespace quorvel {

namespace {

using Kind = OptionControl::Kind;

OptionControl boxes(OptionChoice choice, Text heading, std::vector<OptionBox> values) {
  return {Kind::Boxes, heading, choice, OptionNumber::Sampling, std::move(values)};
}
OptionControl box(OptionChoice choice, Text caption, bool englishOnly = false) {
  return {Kind::Box, caption, choice, OptionNumber::Sampling, {}, englishOnly};
}
OptionControl field(OptionNumber number, Text caption) {
  return {Kind::Number, caption, OptionChoice::Language, number, {}};
}
const std::vector<OptionBox> kMeshSamplings{
    {{"24", "24"}, 24}, {{"48", "48"}, 48}, {{"72", "72"}, 72}, {{"96", "96"}, 96}, {{"120", "120"}, 120}};
const std::vector<OptionBox> kPreviewSamplings{{{"12", "12"}, 12}, {{"24", "24"}, 24}, {{"48", "48"}, 48}};

}  // namespace

const std::vector<OptionControl>& optionsPanel() {
  static const std::vector<OptionControl> panel = {
      boxes(OptionChoice::Language, {"LANGUE", "LANGUAGE"}, {{{"FRANCAIS", "FRANCAIS"}, 0}, {{"ENGLISH", "ENGLISH"}, 1}}),
      box(OptionChoice::Rebin, {"Ré-échantillonnage sur 8 instants", "Down-sampling on 8 instants"}),
      boxes(OptionChoice::Format, {"Format des données", "Default data format"},
            {{{"Dicom", "Dicom"}, 1}, {{"IDB", "IDB"}, 2}, {{"Interfile", "Interfile"}, 3}, {{"IMA", "IMA"}, 4}}),
      boxes(OptionChoice::Instants, {"Nombre d'instants", "Number of instants"}, {{{"8", "8"}, 8}, {{"16", "16"}, 16}}),
      boxes(OptionChoice::ShortAxis, {"Orientation des coupes", "Slice orientation"},
            {{{"Petit axe", "Short axis"}, 1}, {{"Grand axe horizontal", "Horizontal long axis"}, 0}}),
      box(OptionChoice::Equilibrium, {"Equilibrium", "Equilibrium"}, true),
      field(OptionNumber::Sampling,
            {"Segmentation - échantillonnage (100 / 2000)", "Segmentation - sampling (100 / 2000)"}),
      field(OptionNumber::KernelT, {"Segmentation - kernel :  T (1/2)", "Segmentation - kernel :  T (1/2)"}),
      field(OptionNumber::KernelZ, {"Z (1/2)", "Z (1/2)"}),
      field(OptionNumber::KernelXY, {"XY (1/2)", "XY (1/2)"}),
      field(OptionNumber::Threshold, {"Seuillage par défaut % (10 / 90)", "Default threshold % (10 / 90)"}),
      boxes(OptionChoice::FitMethod, {"", ""},
            {{{"Courbe de référence", "Reference curve"}, 1}, {{"Fit multi-harmonique", "Multi-harmonic fit"}, 2}}),
      field(OptionNumber::Iterations, {"Nombre d'itérations (0 / 100)", "Number of iterations (0 / 100)"}),
      field(OptionNumber::Compression, {"Compression max. % (0 / 100)", "Max. compression % (0 / 100)"}),
      field(OptionNumber::Slope, {"Pente min. % (0 / 100)", "Min. slope % (0 / 100)"}),
      boxes(OptionChoice::AxialSampling, {"Echantillonnage axial", "Axial sampling"}, kMeshSamplings),
      boxes(OptionChoice::AngularSampling, {"Echantillonnage angulaire", "Angular sampling"}, kMeshSamplings),
      boxes(OptionChoice::PreviewSampling, {"Echantillonnage pré-visu", "Preview sampling"}, kPreviewSamplings),
      box(OptionChoice::SurfaceWeighting, {"Pondération surfacique", "Surfacic weighting"}),
      box(OptionChoice::SyncDirections,
          {"Synchronisation des directions d'observation", "Synchronization of the observation directions"}),
      box(OptionChoice::SyncZoom, {"Synchronisation des niveaux de zoom", "Synchronization of the zoom levels"}),
      box(OptionChoice::SyncVentricles,
          {"Synchronisation des ventricules affichés", "Synchronization of the displayed ventricles"}),
      boxes(OptionChoice::Sectors, {"Secteurs 3D :", "3D sectors:"},
            {{{"13", "13"}, 13}, {{"17", "17"}, 17}, {{"19", "19"}, 19}, {{"25", "25"}, 25}}),
      boxes(OptionChoice::ExportFormat, {"Format d'export :", "Export format :"},
            {{{"1024 x 1024", "1024 x 1024"}, 1}, {{"1536 x 1092", "1536 x 1092"}, 0}}),
      boxes(OptionChoice::FallCriterion,
            {"Alerte FE G du suivi (baisse / sous) :", "LVEF follow-up alert (fall / below):"},
            {{{"10 / 50 %", "10 / 50 %"}, 0},
             {{"10 / 53 %", "10 / 53 %"}, 1},
             {{"10 / 55 %", "10 / 55 %"}, 2},
             {{"- / 40 %", "- / 40 %"}, 3}}),
      {Kind::Colour, {"Coul. fond", "Bkg col."}},
      {Kind::Validate, {"Valider", "Validate"}},
  };
  return panel;
}

bool optionBoxChecked(const Options& o, const OptionControl& control, int value) {
  return optionChoice(o, control.choice) == value;
}

}  // namespace quorvel
