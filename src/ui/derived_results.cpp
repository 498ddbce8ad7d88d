#include "ui/derived_results.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <tuple>

#include "base/generation.h"
#include "model3d/bullseye.h"
#include "render/render_texts.h"
#include "ui/derived_texts.h"
#include "ui/model3d_input.h"
#include "ui/shell.h"
#include "ui/workstation.h"

namespace quorvel {

namespace {

constexpr int kReconcilePasses = 3;  // a pass that changes the stage asks for one more

size_t slot(Derived d) { return static_cast<size_t>(d); }
size_t slot(ResultInput i) { return static_cast<size_t>(i); }

uint64_t labelsContent(const Segmentation& seg) {
  return fingerprintBytes(seg.AFFECT.data(), seg.AFFECT.size(),
                          fingerprintBytes(seg.LPE.data(), seg.LPE.size() * sizeof(uint16_t)));
}

bool readsLabelVolume(Derived d) { return d == Derived::Model || d == Derived::Sectors || d == Derived::PickedCurves; }

std::array<uint64_t, 3> contentOf(const Workstation& ws) {
  return {countsFingerprint(ws.w.study), labelsContent(ws.seg),
          fingerprintBytes(ws.model.skel.BORD.data(), ws.model.skel.BORD.size())};
}

// What of that content result d reads.
std::array<uint64_t, 3> contentRead(std::array<uint64_t, 3> content, Derived d) {
  if (!readsLabelVolume(d)) content[2] = 0;
  return content;
}

const char* derivedName(Derived d) {
  static constexpr const char* kNames[kDerivedResults] = {"curves", "result texts", "preview", "model",
                                                          "sectors", "picked curves", "uncertainty",
                                                          "serial comparison"};
  return kNames[slot(d)];
}

// The result another one is computed from.
std::optional<Derived> madeFrom(Derived d) {
  switch (d) {
    case Derived::ResultTexts:
    case Derived::Uncertainty:
    case Derived::Serial: return Derived::Curves;
    case Derived::Sectors:
    case Derived::PickedCurves: return Derived::Model;
    default: return std::nullopt;
  }
}

void fingerprintSkeleton(Fingerprint& f, const SkeletonModel& sk) {
  for (const VentricleTable<float>* t :
       {&sk.Sx0, &sk.Sy0, &sk.Sz0, &sk.Sx1, &sk.Sy1, &sk.Sz1, &sk.dsx1, &sk.dsy1, &sk.dsz1, &sk.apexX, &sk.apexY,
        &sk.apexZ, &sk.bcx, &sk.bcy, &sk.bcz, &sk.Cy0, &sk.Cy1, &sk.Cy2, &sk.Cz0, &sk.Cz1, &sk.Cz2, &sk.dsx2, &sk.dsy2,
        &sk.dsz2})
    f.add(*t);
  f.add(sk.UPDT_instant).add(sk.valve_source).add(sk.apex_source);
  for (const auto& ventricle : sk.Skel_Discret) f.add(ventricle);
  f.add(sk.NPTS).add(sk.BC_X).add(sk.BC_Y).add(sk.BC_Z);
  f.add(sk.MIN_X).add(sk.MIN_Y).add(sk.MIN_Z).add(sk.MAX_X).add(sk.MAX_Y).add(sk.MAX_Z);
}

}  // namespace

uint64_t inputGeneration(const Workstation& ws, ResultInput input) {
  const Study& s = ws.w.study;
  const Options& o = ws.w.options;
  const Segmentation& seg = ws.seg;
  Fingerprint f;
  f.add(static_cast<int>(input));
  switch (input) {
    case ResultInput::Counts:
      f.add(s.countsGeneration).add(s.DATA.size()).add(s.Ninst).add(s.NCZ).add(s.VOXEL_SIZE_XY).add(s.VOXEL_SIZE_Z);
      f.add(s.datamax).add(s.VOXS_init).add(s.VOX_XY_init);
      break;
    case ResultInput::Threshold: f.add(s.seuillage); break;
    case ResultInput::Labels: {
      const SliceLimits& lim = ws.w.settings.limits;
      f.add(seg.labelsGeneration).add(seg.segmentedCounts).add(seg.NREG).add(seg.CORR).add(seg.struct_max);
      f.add(lim.limG_inf).add(lim.limG_sup).add(lim.limD_inf).add(lim.limD_sup);
      f.add(seg.SegLock).add(seg.InstLock);
      break;
    }
    case ResultInput::Planes: {
      const ReorientSettings& r = ws.w.settings.reorient;
      f.add(r.valves_plano_).add(r.septum_plano).add(r.infand_plane);
      break;
    }
    case ResultInput::Fitting: {
      const TacFitSettings& t = ws.curves.settings;
      f.add(ws.w.settings.curves.TACFIT_switch).add(t.TACFIT_ITER).add(t.CMH_DEG).add(t.TACFIT_ITmax);
      f.add(o.TACFIT_COMPMAX).add(o.TACFIT_PTMIN).add(o.TACFIT_ITvol).add(o.equilibrium);
      f.add(ws.curves.vc.volume_voxels).add(ws.curves.vc.TACFIT_noise).add(static_cast<int>(ws.developer()));
      break;
    }
    case ResultInput::Timing: f.add(s.Ninst).add(s.CYCLE).add(s.CARD_FREQ); break;
    case ResultInput::Language: f.add(o.LANGUE); break;
    case ResultInput::PreviewSampling: f.add(o.mesh_samP).add(o.mesh_Pdiv).add(o.mesh_itpre); break;
    case ResultInput::PreviewShape: {
      const Model3DSettings& set = ws.model3d.model3d;
      f.add(set.Plan_Pond).add(set.APEX_dismax).add(set.Apex_deriv).add(set.SKEL_OK);
      fingerprintSkeleton(f, ws.model.skel);
      break;
    }
    case ResultInput::ModelSampling: f.add(o.DEFAULT_sama).add(o.DEFAULT_samr).add(o.DEFAULT_Vpond); break;
    case ResultInput::SectorLayout: f.add(o.SECT_25).add(ws.model3d.model3d.mesh_sect_grad); break;
    case ResultInput::Reprojection: {
      const Reprojection& rp = ws.reprojection;
      f.add(o.REPROJ).add(rp.reproj_tac).add(rp.reproj_lvx).add(rp.reproj_lvy);
      if (o.REPROJ) f.add(ws.w.settings.reorient.valves_plano_);  // the projection's last row
      break;
    }
    case ResultInput::PickedPoints: {
      const RegionalMaps& maps = ws.model.maps;
      f.add(maps.MC_v).add(maps.MC_ar).add(ws.model3d.model3d.mesh_visu);
      break;
    }
  }
  return f.value();
}

std::vector<ResultInput> inputsOf(Derived d) {
  using I = ResultInput;
  const std::vector<I> curves{I::Counts, I::Threshold, I::Labels, I::Fitting, I::Timing, I::Reprojection};
  const std::vector<I> model{I::Counts, I::Threshold, I::Labels, I::Planes,
                             I::PreviewShape, I::ModelSampling, I::Fitting, I::Timing};
  auto with = [](std::vector<I> base, std::initializer_list<I> more) {
    base.insert(base.end(), more);
    return base;
  };
  switch (d) {
    case Derived::Curves:
    case Derived::Uncertainty:
    case Derived::Serial: return curves;
    case Derived::ResultTexts: return with(curves, {I::Language});
    case Derived::Preview: return {I::Counts, I::Threshold, I::Labels, I::Planes, I::PreviewSampling};
    case Derived::Model: return model;
    case Derived::Sectors: return with(model, {I::SectorLayout});
    case Derived::PickedCurves: return with(model, {I::Language, I::PickedPoints});
  }
  return {};
}

bool segmentationCurrent(const Workstation& ws) {
  const Study& s = ws.w.study;
  if (!ws.w.settings.flow.segment_done || ws.seg.LPE.empty() || ws.seg.LPE.size() != s.DATA.size()) return false;
  return ws.seg.segmentedCounts == s.countsGeneration;
}

Refusal segmentationOutOfDate() {
  return Refusal::of(RefusalCode::SegmentationOutOfDate, derived_texts::kSegmentationOutOfDate);
}

Refusal modelOutOfDate() { return Refusal::of(RefusalCode::ModelOutOfDate, derived_texts::kModelOutOfDate); }

void resultMade(Workstation& ws, Derived d) {
  Provenance& p = ws.ledger.results[slot(d)];
  p.made = true;
  p.from = {};
  for (ResultInput i : inputsOf(d)) p.from[slot(i)] = inputGeneration(ws, i);
  p.content = ws.ledger.audit ? contentRead(contentOf(ws), d) : std::array<uint64_t, 3>{};
}

void resultDropped(Workstation& ws, Derived d) { ws.ledger.results[slot(d)] = Provenance{}; }

std::vector<ResultInput> changedInputs(const Workstation& ws, Derived d) {
  const Provenance& p = ws.ledger.results[slot(d)];
  std::vector<ResultInput> changed;
  for (ResultInput i : inputsOf(d))
    if (!p.made || p.from[slot(i)] != inputGeneration(ws, i)) changed.push_back(i);
  return changed;
}

bool resultCurrent(const Workstation& ws, Derived d) {
  const Provenance& p = ws.ledger.results[slot(d)];
  if (!p.made || !changedInputs(ws, d).empty()) return false;
  // Made from another result: current only while that one is.
  const auto from = madeFrom(d);
  return !from || resultCurrent(ws, *from);
}

std::vector<std::string> auditGenerations(const Workstation& ws) {
  std::vector<std::string> failures;
  const std::array<uint64_t, 3> content = contentOf(ws);
  if (ws.w.study.countsGeneration != content[0]) failures.push_back("the counts changed without a new generation");
  for (int k = 0; k < kDerivedResults; ++k) {
    const Derived d = static_cast<Derived>(k);
    const Provenance& p = ws.ledger.results[slot(d)];
    if (!ws.ledger.audit || !resultCurrent(ws, d)) continue;
    const std::array<uint64_t, 3> now = contentRead(content, d);
    if (now == p.content) continue;
    std::string why = std::string("the ") + derivedName(d) + " look current but the content of";
    const char* parts[] = {" the counts", " the labels", " the label volume"};
    for (size_t i = 0; i < now.size(); ++i)
      if (now[i] != p.content[i]) why += parts[i];
    failures.push_back(why + " changed");
  }
  return failures;
}

Status bringCurrent(Workstation& ws, Derived d) {
  if (resultCurrent(ws, d)) return Status::accepted();
  WorkflowState& flow = ws.w.settings.flow;
  const bool reproj = ws.w.options.REPROJ != 0;
  auto needSegmentation = [&]() -> Status {
    if (!flow.segment_done) return Refusal::of(RefusalCode::SegmentationMissing, derived_texts::kSegmentationMissing);
    if (!segmentationCurrent(ws)) return segmentationOutOfDate();
    return Status::accepted();
  };
  switch (d) {
    case Derived::Curves:
      if (!reproj) {
        if (Status s = needSegmentation(); !s) return s;
      }
      std::ignore = ws.computeCurves();  // a failed fit has been shown; its zero curve is the result
      return Status::accepted();
    case Derived::ResultTexts:
      if (Status s = bringCurrent(ws, Derived::Curves); !s) return s;
      showResultTexts(ws);
      // Entering the results before their curves were made said nothing: they are made now.
      if (ws.shell._MENU_ == kStageResults) sayImplausibleResults(ws);
      return Status::accepted();
    case Derived::Preview: {
      if (reproj) return Refusal::of(RefusalCode::SegmentationMissing, derived_texts::kSegmentationMissing);
      if (Status s = needSegmentation(); !s) return s;
      const std::vector<ResultInput> changed = changedInputs(ws, Derived::Preview);
      if (ws.ledger.results[slot(d)].made && changed == std::vector<ResultInput>{ResultInput::PreviewSampling}) {
        ws.rebuildPreviewMesh();  // the skeletons and valve planes as the user left them
      } else {
        ws.w.options.mesh_Pdiv = ws.w.options.mesh_samP;  // the preview samplings from their defaults
        ws.buildPreview();
      }
      flow.Previsu_OK = 1;
      return Status::accepted();
    }
    case Derived::Model: return modelOutOfDate();
    case Derived::Sectors:
      if (!resultCurrent(ws, Derived::Model)) return modelOutOfDate();
      for (int v = 0; v < 2; ++v) DEF_SECTORS(ws.model.eye, v, ws.w.options.SECT_25, ws.w.study.Ninst);
      DEFINE_BULLSEYE_BORD(ws.model.eye, ws.w.options.SECT_25, 1, ws.model3d.model3d.mesh_sect_grad);
      ws.analyseSegmentsNow();
      resultMade(ws, Derived::Sectors);
      return Status::accepted();
    case Derived::PickedCurves:
      if (!resultCurrent(ws, Derived::Model)) return modelOutOfDate();
      refreshPickedCurves(ws);
      return Status::accepted();
    case Derived::Uncertainty:
      ws.uncertainty.reset();
      resultDropped(ws, d);
      return Refusal::of(RefusalCode::UncertaintyOutOfDate, derived_texts::kUncertaintyOutOfDate);
    case Derived::Serial:
      ws.serial.reset();
      resultDropped(ws, d);
      return Refusal::of(RefusalCode::UncertaintyOutOfDate, derived_texts::kSerialOutOfDate);
  }
  return Status::accepted();
}

const ResultUncertainties* currentIntervals(const Workstation& ws) {
  return ws.uncertainty && ws.uncertainty->valid && resultCurrent(ws, Derived::Uncertainty) ? &ws.uncertainty->results
                                                                                             : nullptr;
}

const SerialSummary* currentSerialSummary(const Workstation& ws) {
  return ws.serial && resultCurrent(ws, Derived::Serial) ? &*ws.serial : nullptr;
}

std::string resultsPanelText(const Workstation& ws, int v) {
  const int L = ws.w.options.LANGUE;
  const VolumeCurves& vc = ws.curves.vc;
  std::string note;
  if (const ResultUncertainties* u = currentIntervals(ws)) {
    const int first = (v - 1) * kResultsPerVentricle;
    const ResultUncertainty &ef = (*u)[first + kEf], &edv = (*u)[first + kEdv];
    note = format(derived_texts::kIntervalNote.pick(L), ef.low95, ef.high95, edv.low95, edv.high95);
    if (!ws.uncertainty->placementMeasured) note += derived_texts::kCountingOnly.pick(L);
  }
  // The calibrated volumes beside the title: the panel keeps its height on small screens.
  const std::string calibrated = ws.calibration ? "   " + calibratedPanelLine(vc, *ws.calibration, v, L) : "";
  return std::string(ventriclePanelTitle(v, L)) + calibrated + "\n" + ventricleResultsText(v == 1 ? vc.G : vc.D, L, note);
}

void showResultTexts(Workstation& ws) {
  const int L = ws.w.options.LANGUE;
  const VolumeCurves& vc = ws.curves.vc;
  ws.platform.textChanged(TextSlot::ResultsLeft, resultsPanelText(ws, 1));
  ws.platform.textChanged(TextSlot::ResultsRight, resultsPanelText(ws, 2));
  ws.platform.textChanged(TextSlot::MethodLabel,
                          tacfitMethodLabel(ws.w.settings.curves.TACFIT_switch, ws.curves.settings, L));
  ws.platform.textChanged(TextSlot::CursorLeft,
                          format(render_texts::kCurveCursor.pick(L), 0.0, static_cast<double>(vc.volG[0])));
  ws.platform.textChanged(TextSlot::CursorRight,
                          format(render_texts::kCurveCursor.pick(L), 0.0, static_cast<double>(vc.volD[0])));
  resultMade(ws, Derived::ResultTexts);
}

namespace {

// One pass over what the current stage shows; true when it moved to another stage.
bool reconcileOnce(Workstation& ws) {
  const int stage = ws.shell._MENU_;
  WorkflowState& flow = ws.w.settings.flow;
  const bool reproj = ws.w.options.REPROJ != 0;
  const bool showsSegmentation = stage == kStageSegmentation || stage == kStageResults || stage == kStagePreview ||
                                 stage == kStageResults3D;
  if (showsSegmentation && !reproj && flow.segment_done && !segmentationCurrent(ws)) {
    ws.show(segmentationOutOfDate());
    if (flow.stade_axis >= 3) flow.fich_axis = 2;
    changeStage(ws, kStageReorientation);
    return true;
  }
  auto leaveFor = [&](int next, const Status& why) {
    if (!why.ok() && why.code() != RefusalCode::Cancelled) ws.show(why.refusal());
    changeStage(ws, next);
    return true;
  };
  switch (stage) {
    case kStageResults:
      if (Status s = bringCurrent(ws, Derived::ResultTexts); !s) return leaveFor(kStageSegmentation, s);
      return false;
    case kStagePreview:
      if (Status s = bringCurrent(ws, Derived::Preview); !s) return leaveFor(kStageSegmentation, s);
      return false;
    case kStageResults3D: {
      if (Status s = bringCurrent(ws, Derived::Preview); !s) return leaveFor(kStageSegmentation, s);
      if (!resultCurrent(ws, Derived::Model) && !computeModelAsked(ws))
        return leaveFor(kStagePreview, Status::accepted());
      std::ignore = bringCurrent(ws, Derived::Sectors);
      std::ignore = bringCurrent(ws, Derived::PickedCurves);
      return false;
    }
    default: return false;
  }
}

}  // namespace

EventScope::EventScope(Workstation& ws) : ws_(ws) { ++ws_.shell.eventDepth; }

EventScope::~EventScope() {
  if (--ws_.shell.eventDepth == 0 && std::uncaught_exceptions() == 0) reconcileShownResults(ws_);
}

void reconcileShownResults(Workstation& ws) {
  ++ws.shell.eventDepth;  // what this does is not an event of its own
  for (int pass = 0; pass < kReconcilePasses && reconcileOnce(ws); ++pass) {
  }
  WorkflowState& flow = ws.w.settings.flow;
  flow.segment_updt1 = resultCurrent(ws, Derived::Curves) ? 0 : 1;
  flow.segment_updt2 = resultCurrent(ws, Derived::Preview) ? 0 : 1;
  --ws.shell.eventDepth;
}

}  // namespace quorvel
