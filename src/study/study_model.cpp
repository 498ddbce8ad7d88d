#include "study/study_model.h"

#include <algorithm>

#include "study/study_texts.h"

namespace quorvel {

namespace {
constexpr float kReprojRotation = 0.7853982f;  // pi/4
constexpr float kReprojValveAngle = 25.0f;
constexpr int kReprojRecadT = 64;
constexpr int kReprojThreshold = 50;
constexpr int kReprojFitMethod = 2;
}  // namespace

void INIT_ACQ_PARAM(StudyRecord& s, PerStudySettings& set, const Options& opt) {
  const int loaded = set.flow.IDB_loaded;
  set = PerStudySettings{};
  set.flow.IDB_loaded = loaded;
  const bool reproj = opt.REPROJ != 0;

  set.flow.comment = set.flow.comment2 = study_texts::kComment.pick(opt.LANGUE);
  set.curves.TACFIT_switch = reproj ? kReprojFitMethod : opt.DEFAULT_tacfitswitch;

  for (int t = 0; t < kMaxInstants; ++t) {
    set.limits.limG_inf[t] = set.limits.limD_inf[t] = 0;
    set.limits.limG_sup[t] = set.limits.limD_sup[t] = s.NCZ - 1;
  }
  if (reproj) {
    set.reorient.recad_t = kReprojRecadT;
    set.reorient.rotation = kReprojRotation;
    set.reorient.valves_angle = kReprojValveAngle;
  }
  s.seuillage = reproj ? kReprojThreshold : opt.DEFAULT_seuil;
  s.instant = 0;
  s.coupe = s.NCZ / 2;
}

void EVAL_DATA_INTERVAL(Study& s, TraceLog& log) {
  float vmax = 0;
  for (float& v : s.DATA) {
    vmax = std::max(vmax, v);
    if (v < 0) v = 0;
  }
  s.datamax = vmax;
  s.datamin = static_cast<float>(s.seuillage) * s.datamax / 100.0f;
  log.writef("datamax = %f  ;  datamin = %f  ;  seuillage = %d\n", s.datamax, s.datamin, s.seuillage);
}

}  // namespace quorvel
