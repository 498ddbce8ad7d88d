#pragma once
// The road shared by the segment and analyse commands: open an acquisition, validate the three
// re-orientation steps with the user's settings, segment.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "console_platform.h"
#include "segmentation/placement.h"
#include "ui/workstation.h"

namespace quorvel::cli {

inline constexpr int kExitRefused = 2;
inline constexpr int kExitNotSegmented = 3;
inline constexpr int kExitVentricleMissing = 4;
inline constexpr int kExitFitFailed = 5;
inline constexpr int kExitImplausible = 6;  // results printed, with warnings that they cannot be true
inline constexpr int kExitModelNotBuilt = 7;
inline constexpr int kExitNotPlaced = 8;  // no placement could be proposed: no results
inline constexpr int kExitNoStudyAnalysed = 9;  // batch: not one study of the folder was analysed
inline constexpr int kExitFlagged = 10;  // compare: a fall of the left ejection fraction meets the criterion

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
  std::string placement = "auto";  // "auto": proposed from the study; "default": the settings above
  // Placement options the user gave; each wins over the proposal.
  bool givenCrop = false, givenRotation = false, givenSeptum = false, givenValveRow = false,
       givenValveAngle = false, givenInfundibulum = false;
};

// The reader's filter: the format named, else the one of the file's extension.
int acquisitionFilter(const std::string& format, const std::string& file);
// Adds --format to a command.
void addFormatOption(CLI::App* cmd, std::string& format);

// Adds the options above (the file is added by each command).
void addPipelineOptions(CLI::App* cmd, PipelineArgs& a);
// After parsing: records which placement options were given.
void notePlacementOptions(const CLI::App* cmd, PipelineArgs& a);
// Empty when the settings can be used, else why not.
std::string checkPipelineArgs(const PipelineArgs& a);

// Everything one run works on: the console and one workstation on the application folder.
struct Session {
  ConsolePlatform platform;
  Workstation ws;
  Placement placement;                      // the settings the three steps were validated with
  std::string placementSource = "default";  // "auto", "default" or "options"
  std::optional<PlacementProposal> proposal;  // when the placement was proposed
  Session();
};

// Reprojection mode with the mode's own defaults (a rotation or valve angle given overrides
// them): loads args.file, validates the in-plane step and the valve step (which projects the
// study and places the seed), then step 2 and the left ventricle's curve. Returns 0, or the exit
// status to give.
int loadReprojectAndFit(const PipelineArgs& a, Workstation& ws, bool progress);

// Loads args.file and processes it like the exam templatePath: its validated steps replayed, its
// segmentation taken. Returns 0, or the exit status to give.
int loadWithTemplate(const PipelineArgs& a, const std::string& templatePath, Workstation& ws);

// The two result panels and the method label, as the results stage shows them.
void printPanels(const Workstation& ws, std::ostream& out);
// The 3D results panels of both ventricles (the ejection-fraction map).
void printModelPanels(const Workstation& ws, std::ostream& out);

// Called with the step about to be validated, its settings in place; false stops the run.
using BeforeValidation = std::function<bool(int step)>;

// Loads args.file, chooses the placement (proposed, default, or the user's options) and runs the
// three steps with it. Returns 0, or the exit status to give: kExitNotPlaced when the placement
// had to be proposed and the proposal refused (its reason goes to standard error).
// Stage names and times go to standard error when `progress` is set.
int loadReorientSegment(const PipelineArgs& a, Session& s, bool progress,
                        const BeforeValidation& beforeValidation = {});

}  // namespace quorvel::cli
