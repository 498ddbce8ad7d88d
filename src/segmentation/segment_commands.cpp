#include "segmentation/segment_commands.h"

#include <new>
#include <utility>

#include "base/large_buffers.h"
#include "base/messages.h"
#include "segmentation/classification.h"
#include "segmentation/region_stats.h"
#include "segmentation/segmentation_texts.h"
#include "segmentation/undo.h"
#include "segmentation/watershed.h"

namespace quorvel {

namespace {

int saveUndo(SegmentationContext& c) { return SAVE_UNDO(kUndoSegmentationRing, c); }

// The wait window of a flooding; closed whatever way the flooding ends.
class FloodProgress {
 public:
  explicit FloodProgress(SegmentationContext& c) : platform_(c.platform) {
    platform_.beginProgress(segmentation_texts::kSegmenting.pick(c.w.options.LANGUE));
  }
  ~FloodProgress() { platform_.endProgress(); }
  ProgressFn report() {
    return [this](double fraction) { return platform_.progress(fraction); };
  }

 private:
  Platform& platform_;
};

Status refusalOf(FloodStatus status) {
  if (status == FloodStatus::Cancelled)
    return Refusal::of(RefusalCode::Cancelled, segmentation_texts::kSegmentationCancelled);
  return tooManyRegions();
}

}  // namespace

Refusal tooManyRegions() { return Refusal::of(RefusalCode::TooManyRegions, segmentation_texts::kTooManyRegions); }

bool hasQuantisedStudy(const SegmentationContext& c) { return c.w.settings.flow.segment_done != 0 && hasLabels(c); }

bool hasLabels(const SegmentationContext& c) {
  const Study& s = c.w.study;
  return s.Ninst > 0 && s.NCZ > 0 && c.seg.LPE.size() == s.DATA.size() &&
         s.DATA.size() == static_cast<size_t>(s.Ninst) * s.instantSize();
}

Status segmentValidatedStudy(SegmentationContext& c) {
  Study& s = c.w.study;
  try {
    // What the quantisation and a refused flooding would change, kept to be put back.
    std::vector<float> counts = copyOfVolume(s.DATA);
    const float datamax = s.datamax, datamin = s.datamin;
    const uint64_t countsGeneration = s.countsGeneration;
    Segmentation fresh;
    RECH_IMAGE(s, c.w.options, fresh, c.log);
    FloodProgress wait(c);
    const FloodStatus status = SEGMENT(s, c.w.options, c.w.settings.flow, fresh, c.log, wait.report());
    if (status != FloodStatus::Done) {
      s.DATA = std::move(counts);
      s.datamax = datamax;
      s.datamin = datamin;
      s.countsGeneration = countsGeneration;
      return refusalOf(status);
    }
    fresh.segmentedCounts = s.countsGeneration;
    c.seg = std::move(fresh);
    SEGMENT_EVAL(s, c.w.settings.reorient, c.w.settings.limits, c.w.settings.flow, c.seg, c.log);
  } catch (const std::bad_alloc&) {
    MOMS(c.platform, c.w.options.LANGUE, " DD2 ");
  }
  c.platform.pictureChanged(View::Segmentation);
  return {};
}

Status resegmentStudy(SegmentationContext& c) {
  if (!hasQuantisedStudy(c)) return Refusal::of(RefusalCode::SegmentationMissing, segmentation_texts::kSegmentationMissing);
  try {
    Segmentation fresh;
    FloodProgress wait(c);
    const FloodStatus status = SEGMENT(c.w.study, c.w.options, c.w.settings.flow, fresh, c.log, wait.report());
    if (status != FloodStatus::Done) return refusalOf(status);
    saveUndo(c);  // holds the segmentation being replaced
    fresh.segmentedCounts = c.w.study.countsGeneration;
    c.seg = std::move(fresh);
    SEGMENT_EVAL(c.w.study, c.w.settings.reorient, c.w.settings.limits, c.w.settings.flow, c.seg, c.log);
  } catch (const std::bad_alloc&) {
    MOMS(c.platform, c.w.options.LANGUE, " DD2 ");
  }
  c.platform.pictureChanged(View::Segmentation);
  return {};
}

Status splitRegion(SegmentationContext& c, int N_segsel) {
  if (!hasQuantisedStudy(c)) return Refusal::of(RefusalCode::SegmentationMissing, segmentation_texts::kSegmentationMissing);
  if (N_segsel <= 0 || N_segsel > c.seg.NREG) return Refusal::of(RefusalCode::NoRegion, segmentation_texts::kNoRegion);
  const Study& s = c.w.study;
  try {
    Segmentation split = c.seg;
    const FloodStatus status =
        SEGMENTE(N_segsel, 1, 1, 1, -1, -1, s, floodSettingsOf(s, c.w.options), split, c.log);
    if (status != FloodStatus::Done) return tooManyRegions();
    RECOUP_CLASS(1, s.Ninst, s.NCZ, split, c.log);
    EVAL_STRUC_MAX(s, c.w.settings.limits, split);
    saveUndo(c);
    c.seg = std::move(split);
  } catch (const std::bad_alloc&) {
    MOMS(c.platform, c.w.options.LANGUE, " DD2 ");
  }
  c.w.settings.flow.segment_updt1 = c.w.settings.flow.segment_updt2 = 1;
  c.platform.pictureChanged(View::Segmentation);
  return {};
}

void reclassifyRegions(SegmentationContext& c) {
  if (!hasQuantisedStudy(c)) return;
  saveUndo(c);
  SEGMENT_EVAL(c.w.study, c.w.settings.reorient, c.w.settings.limits, c.w.settings.flow, c.seg, c.log);
  c.platform.pictureChanged(View::Segmentation);
}

void rebuildRegionStatistics(SegmentationContext& c) {
  RECOUP_CLASS(0, c.w.study.Ninst, c.w.study.NCZ, c.seg, c.log);
}

}  // namespace quorvel
