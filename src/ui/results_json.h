#pragma once
// The global results of both ventricles with their measured and fitted curves, as JSON: the one
// form the command line and the scripted front end write.
#include <nlohmann/json.hpp>

#include "model3d/segmental.h"
#include "ui/workstation.h"

namespace quorvel {

// Keys G_volmax ... G_TPFR and D_..., volG, volD, vidange_G/D, filling_G/D, CYCLE, Ninst,
// CARD_FREQ, TACFIT_switch.
nlohmann::json resultsJson(const Workstation& ws);

// The 3D model's results: per map the statistics of both ventricles ([left, right]), the sector
// means of the selected layout (sectors 1..SECT_25), PER_corr, PFR_corr, SECT_25, mesh_samA,
// mesh_samR.
nlohmann::json model3dJson(const Workstation& ws);

// The regional analysis in the end-diastolic frame: per ventricle its segments (number, name,
// volumes, EF, time to minimum, peak rates, volume per instant), the spread of the segments' times
// and the phase indices; the phase delay between the ventricles.
nlohmann::json segmentalJson(const SegmentalAnalysis& a);

// The uncertainty of the global results: runs, the noise read, per result its value, standard
// uncertainty, its counting and placement parts and the 95 % interval.
struct UncertaintyReport;
nlohmann::json uncertaintyJson(const UncertaintyReport& r);

}  // namespace quorvel
