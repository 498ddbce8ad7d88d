#pragma once
// The options file "Opt" of the application folder: little-endian fields at fixed offsets (three
// single bytes for the background colour), and the rules of the options panel's controls.
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "base/options.h"
#include "base/platform.h"

namespace quorvel {

inline constexpr const char* kOptionsFileName = "Opt";

// The record's bytes; fields written twice (palette at 136 and 800, SECT_25 at 876 and 1000) hold
// the same value, and the second value of visu_arete is overwritten by palette3D as the layout has
// it.
std::vector<uint8_t> encodeOptions(const Options& o);
// Reads the fields the bytes reach, in offset order (the later copy of a double field wins);
// fields beyond a short file keep their values. A damaged file cannot set what the options panel
// never could: see keepPanelRanges.
void decodeOptions(std::span<const uint8_t> bytes, Options& o);
// Numbers brought into the panel's ranges; a choice the panel does not offer, a default heart rate
// outside 30..240 bpm, back to its default; the background colour through the chooser's rule.
void keepPanelRanges(Options& o);

// 1 after reading folder/Opt, 0 when it does not exist or cannot be read (o unchanged).
int LOAD_OPTIONS(const std::filesystem::path& folder, Options& o);
// Creates or replaces folder/Opt (through a temporary file); false when it cannot be written, in
// which case the options simply stay in memory.
bool SAVE_OPTIONS_FILE(const std::filesystem::path& folder, const Options& o);
// The working copies derived from the options (TACFIT_COMPMAX, TACFIT_PTMIN).
void deriveOptionCopies(Options& o);

// ---- the options panel's controls ------------------------------------------------------------

// Number fields, read as typed and brought into range.
enum class OptionNumber { Sampling, KernelT, KernelZ, KernelXY, Threshold, Iterations, Compression, Slope };
void setOptionNumber(Options& o, OptionNumber field, long typed);

// Check boxes that choose one value among several; false (nothing changed) for a value the boxes
// do not offer. Choosing the preview sampling also sets mesh_Pdiv.
enum class OptionChoice {
  Language, Format, Instants, Rebin, ShortAxis, Equilibrium, FitMethod, SurfaceWeighting, AxialSampling,
  AngularSampling, PreviewSampling, SyncDirections, SyncZoom, SyncVentricles, Sectors, ExportFormat, FallCriterion
};
bool setOptionChoice(Options& o, OptionChoice box, int value);
// The values the controls show.
int optionNumber(const Options& o, OptionNumber field);
int optionChoice(const Options& o, OptionChoice box);

// The colour chooser's answer as the background: each channel raised by 1 until r + g + b > 29,
// then lowered by 1 until r + g + b < 601.
Rgb backgroundColourRule(Rgb chosen);
void setBackgroundColour(Options& o, Rgb chosen);
// The panel's static texts: dark grey on a light background (r + g + b above 332), else light grey.
Rgb panelTextColour(Rgb background);

}  // namespace quorvel
