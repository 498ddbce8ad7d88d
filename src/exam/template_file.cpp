#include "exam/template_file.h"

#include <algorithm>
#include <bit>

#include "base/byte_reader.h"
#include "exam/exam_file.h"
#include "exam/exam_texts.h"
#include "segmentation/classification.h"
#include "segmentation/reorient.h"

namespace quorvel {

namespace {

namespace off = exam_offsets;

template <typename T, size_t N>
bool readArray(const ByteReader& r, size_t offset, std::array<T, N>& a, size_t n) {
  for (size_t i = 0; i < n && i < N; ++i) {
    const auto w = r.u32le(offset + 4 * i);
    if (!w) return false;
    a[i] = std::bit_cast<T>(*w);
  }
  return true;
}

bool readInt(const ByteReader& r, size_t offset, int& v) {
  const auto w = r.u32le(offset);
  if (w) v = static_cast<int>(*w);
  return w.has_value();
}

}  // namespace

Status readTemplate(const std::filesystem::path& path, TemplateRecord& t) {
  const auto bytes = readWholeFile(path);
  if (!bytes) return Refusal::formatted(RefusalCode::UnreadableFile, exam_texts::kUnreadable, path.string().c_str());
  const ByteReader r(*bytes);
  const Refusal invalid = Refusal::of(RefusalCode::NotAnExam, exam_texts::kInvalid);
  int marker = 0;
  if (!readInt(r, off::kMarker, marker) || marker != kLayoutMarker)
    return Refusal::of(RefusalCode::TemplateNotIndexed, exam_texts::kNotIndexed);
  const std::pair<size_t, int*> ints[] = {
      {off::kNinst, &t.Ninst}, {off::kNCZ, &t.NCZ},   {off::kECH, &t.ECH},   {off::kTT, &t.TT_},
      {off::kTZ, &t.TZ_},      {off::kTX, &t.TX_},    {off::kNREG, &t.NREG}, {off::kSeuillage, &t.seuillage},
      {484, &t.valves_plano_}, {488, &t.septum_plano}, {off::kNList, &t.records.N_list}};
  for (const auto& [offset, v] : ints)
    if (!readInt(r, offset, *v)) return invalid;
  if (!(t.Ninst == 8 || t.Ninst == 16) || t.NCZ < 1 || t.NCZ > kMaxSlices || t.NREG < 0 || t.NREG > kMaxLabels ||
      t.records.N_list < 0 || t.records.N_list > kMaxValidationRecords)
    return invalid;
  ValidationRecords& rec = t.records;
  const size_t n = kMaxValidationRecords, Ninst = static_cast<size_t>(t.Ninst);
  if (!readArray(r, off::kListRotation, rec.list_rotation, n) ||
      !readArray(r, off::kListValveAngle, rec.list_valve_angle, n) ||
      !readArray(r, off::kListRecadX, rec.list_recad_x, n) || !readArray(r, off::kListRecadY, rec.list_recad_y, n) ||
      !readArray(r, off::kListRecadT, rec.list_recad_t, n) ||
      !readArray(r, off::kListFichAxis, rec.list_fich_axis, n) ||
      !readArray(r, off::kLimGInf, t.limits.limG_inf, Ninst) || !readArray(r, off::kLimGSup, t.limits.limG_sup, Ninst) ||
      !readArray(r, off::kLimDInf, t.limits.limD_inf, Ninst) || !readArray(r, off::kLimDSup, t.limits.limD_sup, Ninst))
    return invalid;
  for (const auto* lim : {&t.limits.limG_inf, &t.limits.limG_sup, &t.limits.limD_inf, &t.limits.limD_sup})
    if (!std::all_of(lim->begin(), lim->begin() + t.Ninst, [&](int z) { return z >= 0 && z < t.NCZ; })) return invalid;

  const size_t voxels = Ninst * t.NCZ * kSliceVoxels;
  const size_t at = examLabelsOffset(t.Ninst, t.NCZ);
  if (!r.has(at, voxels * 2 + sizeof(int32_t) * kLabelSlots)) return invalid;
  t.LPE.resize(voxels);
  for (size_t i = 0; i < voxels; ++i) t.LPE[i] = *r.u16le(at + 2 * i);
  if (*std::max_element(t.LPE.begin(), t.LPE.end()) > t.NREG) return invalid;
  if (!readArray(r, at + 2 * voxels, t.CORR, kLabelSlots)) return invalid;
  if (!std::all_of(t.CORR.begin(), t.CORR.end(), [](int c) { return c >= 0 && c < kStructMaxEntries; }))
    return invalid;
  return Status::accepted();
}

Status LOAD_TTTPARAM(SegmentationContext& c, const TemplateRecord& t) {
  Study& s = c.w.study;
  PerStudySettings& set = c.w.settings;
  if (s.Ninst != t.Ninst || s.NCZ != t.NCZ)
    return Refusal::formatted(RefusalCode::TemplateGeometry, exam_texts::kTemplateGeometry, t.Ninst, t.NCZ, s.Ninst,
                              s.NCZ);
  // Everything the replay may change, to put back when one of its steps is refused.
  const Study studyBefore = s;
  const PerStudySettings settingsBefore = set;
  const Options optionsBefore = c.w.options;
  Segmentation segBefore = c.seg;
  auto putBack = [&](Status refused) {
    s = studyBefore;
    set = settingsBefore;
    c.w.options = optionsBefore;
    c.seg = std::move(segBefore);
    return refused;
  };

  Options& opt = c.w.options;
  opt.ECH = t.ECH;
  opt.TT_ = t.TT_;
  opt.TZ_ = t.TZ_;
  opt.TX_ = t.TX_;
  s.seuillage = t.seuillage;
  set.reorient.valves_plano_ = t.valves_plano_;
  set.reorient.septum_plano = t.septum_plano;
  ValidationRecords& rec = set.reorient.records;
  rec = t.records;
  rec.LIST_PROC = 1;
  for (rec.C_list = 0; rec.C_list < rec.N_list; ++rec.C_list) {
    set.flow.fich_axis = rec.list_fich_axis[rec.C_list];
    const ReorientOutcome outcome = FICH_VALIDATE(c);
    if (outcome != ReorientOutcome::StepValidated && outcome != ReorientOutcome::Segmented) {
      rec.LIST_PROC = 0;
      const auto refusal = refusalOf(outcome);
      return putBack(refusal ? Status(*refusal) : Status(Refusal::of(RefusalCode::BadRecord, exam_texts::kNotIndexed)));
    }
  }
  rec.LIST_PROC = 0;

  // The template's segmentation on the new counts.
  for (int i = 0; i < t.Ninst; ++i) {  // the template holds the limits of its instants only
    set.limits.limG_inf[i] = t.limits.limG_inf[i];
    set.limits.limG_sup[i] = t.limits.limG_sup[i];
    set.limits.limD_inf[i] = t.limits.limD_inf[i];
    set.limits.limD_sup[i] = t.limits.limD_sup[i];
  }
  c.seg.LPE = t.LPE;
  c.seg.CORR = t.CORR;
  c.seg.NREG = t.NREG;
  c.seg.AFFECT.assign(t.LPE.size(), 0);
  c.seg.SegLock = {};
  c.seg.InstLock = {};
  c.seg.labelsChanged();
  c.seg.segmentedCounts = s.countsGeneration;  // the template's labels are taken for these counts
  rebuildRegionStatistics(c);
  EVAL_STRUC_MAX(s, set.limits, c.seg);
  set.flow.segment_done = 1;
  set.flow.segment_updt1 = set.flow.segment_updt2 = 1;
  set.flow.stade_axis = 3;
  set.flow.fich_axis = 2;
  c.platform.pictureChanged(View::Segmentation);
  return Status::accepted();
}

}  // namespace quorvel
