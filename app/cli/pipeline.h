#pragma once
// The road shared by the segment and analyse commands: open an acquisition, validate the three
// re-orientation steps with the user's settings, segment.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <string>
#include <vector>

#include "console_platform.h"
#include "ui/workstation.h"

namespace quorvel::cli {

inline constexpr int kExitRefused = 2;
inline constexpr int kExitNotSegmented = 3;
inline constexpr int kExitVentricleMissing = 4;
inline constexpr int kExitFitFailed = 5;
inline constexpr int kExitImplausible = 6;  // results printed, with warnings that they cannot be true
inline constexpr int kExitModelNotBuilt = 7;

struct PipelineArgs {
  std::string file;
  std::string format;  // dicom, ima, interfile or idb; empty: by the file's extension
  std::vector<int> crop{32, 32, 32};  // row, column, side of the in-plane square
  double rotationDeg = 0;
  int septum = 32;
  int valveRow = 32;
  double valveAngle = 0;
  int infundibulum = -1;  // -1: the right ventricle starts at the first slice
  int heartRate = 0;
  std::string language = "en";
  bool noRebin = false;
  // Given on the command line (reprojection mode keeps its own defaults otherwise).
  bool rotationGiven = false, valveAngleGiven = false;
};

// The reader's filter: the format named, else the one of the file's extension.
int acquisitionFilter(const std::string& format, const std::string& file);
// Adds --format to a command.
void addFormatOption(CLI::App* cmd, std::string& format);

// Adds the options above (the file is added by each command).
void addPipelineOptions(CLI::App* cmd, PipelineArgs& a);
// Empty when the settings can be used, else why not.
std::string checkPipelineArgs(const PipelineArgs& a);

// Everything one run works on: the console and one workstation on the application folder.
struct Session {
  ConsolePlatform platform;
  Workstation ws;
  Session();
};

// Reprojection mode with the mode's own defaults (a rotation or valve angle given overrides
// them): loads args.file, validates the in-plane step and the valve step (which projects the
// study and places the seed), then step 2 and the left ventricle's curve. Returns 0, or the exit
// status to give.
int loadReprojectAndFit(const PipelineArgs& a, Workstation& ws, bool progress);

// Loads args.file and runs the three steps. Returns 0, or the exit status to give.
// Stage names and times go to standard error when `progress` is set.
int loadReorientSegment(const PipelineArgs& a, Workstation& ws, bool progress);

}  // namespace quorvel::cli
