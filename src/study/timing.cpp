#include "study/timing.h"

#include <algorithm>
#include <cmath>

#include "study/study_texts.h"

namespace quorvel {

namespace {
constexpr int kMaxGraduations = 6;
constexpr int kGraduatedInstants = 8;
}  // namespace

bool EVAL_GRADMAX(StudyRecord& s) {
  for (int k = 0; k < static_cast<int>(decoup_cycle.size()); ++k) {
    s.mesh_ngradmax = static_cast<int>(kGraduatedInstants * s.CYCLE / decoup_cycle[k]);
    s.mesh_ngradpas = k;
    if (s.mesh_ngradmax < kMaxGraduations) return true;
  }
  s.mesh_ngradmax = 5;
  s.mesh_ngradpas = 9;
  return false;
}

Notice lowHeartRate() { return Notice::of(true, study_texts::kLowHeartRate); }

void DISPLAY_PAT_INFO(StudyRecord& s, Platform& platform, int LANGUE) {
  std::string title;
  if (s.pat_sex == 1) title = study_texts::kTitleFemale.pick(LANGUE);
  if (s.pat_sex == 2) title = study_texts::kTitleMale.pick(LANGUE);
  s.pat_tmp = title + s.patient_name + format("  -  Fq : %d bpm", static_cast<int>(s.CARD_FREQ + 0.5f));
  if (s.pat_tmp.size() >= kPatTmpSize) s.pat_tmp.resize(kPatTmpSize - 1);
  platform.textChanged(TextSlot::PatientBanner, s.pat_tmp);
}

void ASKFOR_CARD_FREQ(StudyRecord& s, Platform& platform, const Options& opt) {
  s.FREQ_ASKING = 1;
  platform.openHeartRatePrompt(opt.DEFAULT_freq);
}

void setHeartRate(StudyRecord& s, int f, Platform& platform, int LANGUE) {
  f = std::clamp(f, kMinHeartRate, kMaxHeartRate);
  s.CYCLE = 60000.0f / static_cast<float>(s.Ninst * f);
  s.CARD_FREQ_INT = f;
  s.CARD_FREQ = static_cast<float>(f);
  if (s.FREQ_ASKING) platform.closeHeartRatePrompt();
  s.FREQ_ASKING = 0;
  DISPLAY_PAT_INFO(s, platform, LANGUE);
  if (!EVAL_GRADMAX(s)) platform.warning(lowHeartRate().text(LANGUE));
}

std::string EXTRACT_SHORTPATH(const std::string& path) {
  size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace quorvel
