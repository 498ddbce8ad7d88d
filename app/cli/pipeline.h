#pragma once
// The road shared by the segment and analyse commands: open an acquisition, validate the three
// re-orientation steps with the user's settings, segment.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <string>
#include <vector>

#include "base/scripted_platform.h"
#include "base/trace_log.h"
#include "segmentation/segment_commands.h"

namespace quorvel::cli {

inline constexpr int kExitRefused = 2;
inline constexpr int kExitNotSegmented = 3;
inline constexpr int kExitVentricleMissing = 4;
inline constexpr int kExitFitFailed = 5;
inline constexpr int kExitModelNotBuilt = 6;

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
};

// Adds the options above (the file is added by each command).
void addPipelineOptions(CLI::App* cmd, PipelineArgs& a);
// Empty when the settings can be used, else why not.
std::string checkPipelineArgs(const PipelineArgs& a);

// Everything one run works on.
struct Session {
  ScriptedPlatform platform;
  std::filesystem::path folder;
  TraceLog log;
  StudyWorkspace w;
  Segmentation seg;
  Session();
  SegmentationContext context() { return SegmentationContext{w, seg, platform, log, folder}; }
};

// Loads args.file and runs the three steps. Returns 0, or the exit status to give.
// Stage names and times go to standard error when `progress` is set.
int loadReorientSegment(const PipelineArgs& a, Session& s, bool progress);

}  // namespace quorvel::cli
