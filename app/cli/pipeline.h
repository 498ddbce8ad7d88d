#pragma once
// The road shared by the segment and analyse commands: open an acquisition, validate the three
// re-orientation steps with the user's settings, segment.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <string>
#include <vector>

#include "base/scripted_platform.h"
#include "base/trace_log.h"
#include "segmentation/placement.h"
#include "segmentation/segment_commands.h"

namespace quorvel::cli {

inline constexpr int kExitRefused = 2;
inline constexpr int kExitNotSegmented = 3;
inline constexpr int kExitVentricleMissing = 4;
inline constexpr int kExitFitFailed = 5;
inline constexpr int kExitImplausible = 6;  // results that cannot be true (the placement refused)

struct PipelineArgs {
  std::string file;
  std::vector<int> crop{32, 32, 32};  // row, column, side of the in-plane square
  double rotationDeg = 0;
  int septum = 32;
  int valveRow = 32;
  double valveAngle = 0;
  int infundibulum = -1;  // -1: the right ventricle starts at the first slice
  int heartRate = 0;
  std::string language = "en";
  bool noRebin = false;
  std::string placement = "auto";  // "auto": proposed from the study; "default": the settings above
  // Placement options the user gave; each wins over the proposal.
  bool givenCrop = false, givenRotation = false, givenSeptum = false, givenValveRow = false,
       givenValveAngle = false, givenInfundibulum = false;
};

// Adds the options above (the file is added by each command).
void addPipelineOptions(CLI::App* cmd, PipelineArgs& a);
// After parsing: records which placement options were given.
void notePlacementOptions(const CLI::App* cmd, PipelineArgs& a);
// Empty when the settings can be used, else why not.
std::string checkPipelineArgs(const PipelineArgs& a);

// Everything one run works on.
struct Session {
  ScriptedPlatform platform;
  std::filesystem::path folder;
  TraceLog log;
  StudyWorkspace w;
  Segmentation seg;
  Placement placement;                 // the settings the three steps were validated with
  std::string placementSource = "default";  // "auto", "default" or "options"
  Session();
  SegmentationContext context() { return SegmentationContext{w, seg, platform, log, folder}; }
};

// Loads args.file, chooses the placement (proposed, default, or the user's options) and runs the
// three steps with it. Returns 0, or the exit status to give: kExitImplausible when the
// placement had to be proposed and the proposal refused (its reason goes to standard error).
// Stage names and times go to standard error when `progress` is set.
int loadReorientSegment(const PipelineArgs& a, Session& s, bool progress);

}  // namespace quorvel::cli
