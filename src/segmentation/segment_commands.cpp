#include "segmentation/segment_commands.h"

#include <new>
#include <utility>

#include "base/messages.h"
#include "segmentation/classification.h"
#include "segmentation/region_stats.h"
#include "segmentation/segmentation_texts.h"
#include "segmentation/undo.h"
#include "segmentation/watershed.h"

namespace quorvel {

namespace {

void refuseTooManyRegions(SegmentationContext& c) {
  MEMS(c.platform, segmentation_texts::kTooManyRegions.pick(c.w.options.LANGUE));
}

bool hasQuantisedStudy(const SegmentationContext& c) { return c.w.settings.flow.segment_done != 0 && hasLabels(c); }

int saveUndo(SegmentationContext& c) { return SAVE_UNDO(kUndoSegmentationRing, c); }

}  // namespace

bool hasLabels(const SegmentationContext& c) {
  const Study& s = c.w.study;
  return s.Ninst > 0 && s.NCZ > 0 && c.seg.LPE.size() == s.DATA.size() &&
         s.DATA.size() == static_cast<size_t>(s.Ninst) * s.instantSize();
}

bool SEGMENT_VALIDATED_STUDY(SegmentationContext& c) {
  Study& s = c.w.study;
  try {
    // What the quantisation and a refused flooding would change, kept to be put back.
    std::vector<float> counts = s.DATA;
    const float datamax = s.datamax, datamin = s.datamin;
    Segmentation fresh;
    RECH_IMAGE(s, c.w.options, fresh, c.log);
    if (SEGMENT(s, c.w.options, c.w.settings.flow, fresh, c.log) != FloodStatus::Done) {
      s.DATA = std::move(counts);
      s.datamax = datamax;
      s.datamin = datamin;
      refuseTooManyRegions(c);
      return false;
    }
    c.seg = std::move(fresh);
    SEGMENT_EVAL(s, c.w.settings.reorient, c.w.settings.limits, c.w.settings.flow, c.seg, c.log);
  } catch (const std::bad_alloc&) {
    MOMS(c.platform, c.w.options.LANGUE, " DD2 ");
  }
  c.platform.pictureChanged();
  return true;
}

bool RESEGMENT_COMMAND(SegmentationContext& c) {
  if (!hasQuantisedStudy(c)) return false;
  if (c.platform.question(segmentation_texts::kUpdateSegmentation.pick(c.w.options.LANGUE)) != QuestionAnswer::Ok)
    return false;
  try {
    Segmentation fresh;
    if (SEGMENT(c.w.study, c.w.options, c.w.settings.flow, fresh, c.log) != FloodStatus::Done) {
      refuseTooManyRegions(c);
      return false;
    }
    saveUndo(c);  // holds the segmentation being replaced
    c.seg = std::move(fresh);
    SEGMENT_EVAL(c.w.study, c.w.settings.reorient, c.w.settings.limits, c.w.settings.flow, c.seg, c.log);
  } catch (const std::bad_alloc&) {
    MOMS(c.platform, c.w.options.LANGUE, " DD2 ");
  }
  c.platform.pictureChanged();
  return true;
}

bool SPLIT_REGION_COMMAND(SegmentationContext& c, int N_segsel) {
  if (!hasQuantisedStudy(c) || N_segsel <= 0 || N_segsel > c.seg.NREG) return false;
  const Study& s = c.w.study;
  try {
    Segmentation split = c.seg;
    const FloodStatus status =
        SEGMENTE(N_segsel, 1, 1, 1, -1, -1, s, floodSettingsOf(s, c.w.options), split, c.log);
    if (status != FloodStatus::Done) {
      refuseTooManyRegions(c);
      return false;
    }
    RECOUP_CLASS(1, s.Ninst, s.NCZ, split, c.log);
    EVAL_STRUC_MAX(s, c.w.settings.limits, split);
    saveUndo(c);
    c.seg = std::move(split);
  } catch (const std::bad_alloc&) {
    MOMS(c.platform, c.w.options.LANGUE, " DD2 ");
  }
  c.w.settings.flow.segment_updt1 = c.w.settings.flow.segment_updt2 = 1;
  c.platform.pictureChanged();
  return true;
}

void RECLASSIFY_COMMAND(SegmentationContext& c) {
  if (!hasQuantisedStudy(c)) return;
  saveUndo(c);
  SEGMENT_EVAL(c.w.study, c.w.settings.reorient, c.w.settings.limits, c.w.settings.flow, c.seg, c.log);
  c.platform.pictureChanged();
}

void REBUILD_REGION_STATISTICS(SegmentationContext& c) {
  RECOUP_CLASS(0, c.w.study.Ninst, c.w.study.NCZ, c.seg, c.log);
}

}  // namespace quorvel
