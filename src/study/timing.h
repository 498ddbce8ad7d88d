#pragma once
// Heart rate, instant duration, time-axis graduation and the patient banner.
#include <array>

#include "base/options.h"
#include "base/platform.h"
#include "base/refusal.h"
#include "study/study_record.h"

namespace quorvel {

// Graduation steps of the time axis, milliseconds.
inline constexpr std::array<int, 10> decoup_cycle{20, 40, 50, 100, 200, 250, 300, 400, 500, 1000};
inline constexpr int kMinHeartRate = 30;
inline constexpr int kMaxHeartRate = 240;

// mesh_ngradmax / mesh_ngradpas: the first step giving fewer than 6 graduations over 8 instants.
// False when even the largest step gives more (a heart rate below 12 bpm): the last step is kept
// and lowHeartRate() says so.
bool EVAL_GRADMAX(StudyRecord& s);
Notice lowHeartRate();

// pat_tmp = courtesy title + patient_name + "  -  Fq : N bpm"; sent to the patient window.
void DISPLAY_PAT_INFO(StudyRecord& s, Platform& platform, int LANGUE);

// Opens the modeless heart-rate prompt on DEFAULT_freq.
void ASKFOR_CARD_FREQ(StudyRecord& s, Platform& platform, const Options& opt);

// The prompt's "OK": limits f to 30..240, sets CYCLE, CARD_FREQ(_INT), closes the prompt,
// refreshes the banner and the graduation.
void setHeartRate(StudyRecord& s, int f, Platform& platform, int LANGUE);

// The file name after the last "/" or "\".
std::string EXTRACT_SHORTPATH(const std::string& path);

}  // namespace quorvel
