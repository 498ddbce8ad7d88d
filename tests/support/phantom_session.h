#pragma once
// A workstation on a scratch folder holding the digital phantom as the loader leaves it, for the
// tests and benchmarks that drive whole stages.
#include <filesystem>
#include <memory>

#include "base/scripted_platform.h"
#include "phantom_study.h"
#include "ui/workstation.h"

namespace quorvel::testing {

struct PhantomSession {
  ScriptedPlatform platform;
  Workstation ws;

  explicit PhantomSession(const std::filesystem::path& folder) : ws(platform, folder) {}
  PhantomSession(const phantom::Phantom& ph, const std::filesystem::path& folder) : ws(platform, folder) {
    loadPhantom(ph, ws.w);
    FORMATE_SEGMENT_DISPLAY(ws.mosaic, ws.w.study.NCZ, ws.log);
  }
};

// Validates the three re-orientation steps without resampling (the phantom is in the working
// pose), which segments the study. False when a step was refused.
inline bool segmentInWorkingPose(Workstation& ws) {
  ws.w.settings.reorient.recad_t = 64;
  if (ws.validateStep() != ReorientOutcome::StepValidated) return false;
  selectStep(ws.w.settings.flow, 1);
  if (ws.validateStep() != ReorientOutcome::StepValidated) return false;
  return ws.validateStep() == ReorientOutcome::Segmented;
}

}  // namespace quorvel::testing
