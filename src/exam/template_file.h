#pragma once
// A processing template: an exam file read for its re-orientation records, segmentation settings,
// label volume, classes and slice limits, replayed on a newly opened acquisition of the same
// geometry.
#include <filesystem>
#include <vector>

#include "base/refusal.h"
#include "segmentation/segment_commands.h"
#include "segmentation/segmentation_state.h"
#include "study/per_study_settings.h"

namespace quorvel {

// What a template holds for the replay.
struct TemplateRecord {
  int Ninst = 0, NCZ = 0, ECH = 0, TT_ = 0, TZ_ = 0, TX_ = 0, NREG = 0, seuillage = 0;
  int valves_plano_ = 32, septum_plano = 32;
  ValidationRecords records;  // N_list and the six lists
  SliceLimits limits;
  std::vector<uint16_t> LPE;
  Segmentation::ClassTable CORR{};
};

// Reads the template fields of an exam file. UnreadableFile when it cannot be read;
// TemplateNotIndexed without the layout marker (an exam saved before the validation records were
// kept); NotAnExam when a value is outside the capacities or a read leaves the file.
Status readTemplate(const std::filesystem::path& path, TemplateRecord& out);

// LOAD_TTTPARAM without its dialogs: refused (TemplateGeometry, nothing changed) when the open
// study's instants or slices differ from the template's; otherwise the template's segmentation
// settings, the replay of its validated steps (the last one segments the new counts), then its
// limits, labels and classes, with the region statistics, class maxima and change flags
// recomputed from them. A refused replay step puts the study back as it was and is returned.
Status LOAD_TTTPARAM(SegmentationContext& c, const TemplateRecord& t);

}  // namespace quorvel
