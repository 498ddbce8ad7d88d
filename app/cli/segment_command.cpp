// quorvel-cli segment FILE: loads an acquisition, validates the three re-orientation steps with
// the given settings, runs the automatic segmentation and prints what it found.
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "base/app_folder.h"
#include "base/language.h"
#include "base/scripted_platform.h"
#include "base/trace_log.h"
#include "commands.h"
#include "segmentation/reorient.h"
#include "segmentation/segment_commands.h"
#include "study/loading.h"
#include "study/timing.h"

namespace quorvel::cli {

namespace {

constexpr int kExitRefused = 2;
constexpr int kExitNotSegmented = 3;
constexpr int kExitVentricleMissing = 4;

struct SegmentArgs {
  std::string file;
  std::vector<int> crop{32, 32, 32};  // row, column, side of the square of the in-plane step
  double rotationDeg = 0;
  int septum = 32;
  int valveRow = 32;
  double valveAngle = 0;
  int infundibulum = -1;  // -1: the right ventricle starts at the first slice
  int heartRate = 0;
  std::string language = "en";
  bool noRebin = false;
};

struct ClassCounts {
  std::vector<long> voxels;  // per instant
  int labels = 0;
};

// Voxels of each class per instant; ventricle voxels outside their slice limits count as neither.
std::vector<ClassCounts> countClasses(const StudyWorkspace& w, const Segmentation& seg) {
  const Study& s = w.study;
  const SliceLimits& lim = w.settings.limits;
  std::vector<ClassCounts> out(4, ClassCounts{std::vector<long>(s.Ninst, 0), 0});
  for (int l = 1; l <= seg.NREG; ++l)
    if (seg.CARD[l] > 0 && seg.CORR[l] >= 1 && seg.CORR[l] <= 3) ++out[seg.CORR[l]].labels;
  for (int t = 0; t < s.Ninst; ++t)
    for (int z = 0; z < s.NCZ; ++z) {
      const size_t base = Segmentation::index(s.NCZ, t, z, 0, 0);
      for (size_t i = base; i < base + kSliceVoxels; ++i) {
        int c = seg.CORR[seg.LPE[i]];
        if (c == kClassLeft && (z < lim.limG_inf[t] || z > lim.limG_sup[t])) c = kClassOther;
        if (c == kClassRight && (z < lim.limD_inf[t] || z > lim.limD_sup[t])) c = kClassOther;
        if (c >= 1 && c <= 3) ++out[c].voxels[t];
      }
    }
  return out;
}

bool presentAtEveryInstant(const ClassCounts& c) {
  for (long v : c.voxels)
    if (v == 0) return false;
  return true;
}

int runSegment(const SegmentArgs& a) {
  ScriptedPlatform platform;
  platform.echoMessages = true;
  const auto folder = applicationFolder();
  ensureApplicationFolder(folder);
  TraceLog log(folder);
  StudyWorkspace w;
  Segmentation seg;
  w.options.LANGUE = a.language == "fr" ? kFrench : kEnglish;
  w.options.RECH_8 = a.noRebin ? 0 : 1;
  SegmentationContext c{w, seg, platform, log, folder};
  try {
    std::cerr << "Loading " << a.file << "\n";
    if (!OPEN_ACQUISITION_PATH(a.file, kFormatDicom, w, platform, log)) {
      std::cerr << "quorvel-cli: " << a.file << " was refused\n";
      return kExitRefused;
    }
    if (w.study.FREQ_ASKING)
      SET_CARD_FREQ(w.study, a.heartRate > 0 ? a.heartRate : w.options.DEFAULT_freq, platform, w.options.LANGUE);

    ReorientSettings& r = w.settings.reorient;
    r.recad_x = a.crop[0];
    r.recad_y = a.crop[1];
    r.recad_t = a.crop[2];
    r.rotation = static_cast<float>(a.rotationDeg * std::numbers::pi / 180.0);
    r.septum_plano = a.septum;
    std::cerr << "Re-orientation: in-plane step\n";
    if (FICH_VALIDATE(c) != ReorientOutcome::StepValidated) return kExitNotSegmented;
    w.settings.flow.fich_axis = 1;
    r.valves_plano_ = a.valveRow;
    r.valves_angle = static_cast<float>(a.valveAngle);
    std::cerr << "Re-orientation: valve tilt\n";
    if (FICH_VALIDATE(c) != ReorientOutcome::StepValidated) return kExitNotSegmented;
    if (a.infundibulum >= 0) SET_INFUNDIBULUM_SLICE(w, a.infundibulum);
    std::cerr << "Segmentation\n";
    if (FICH_VALIDATE(c) != ReorientOutcome::Segmented) return kExitNotSegmented;
  } catch (const FatalExit& e) {
    return e.code;
  }

  const std::vector<ClassCounts> counts = countClasses(w, seg);
  int withVoxels = 0;
  for (int l = 1; l <= seg.NREG; ++l) withVoxels += seg.CARD[l] > 0;
  std::cout << "Segmentation of " << w.study.chemin_short << '\n';
  std::cout << "  labels issued : " << seg.NREG << " (" << withVoxels << " with voxels)\n";
  std::cout << "  voxel        : " << w.study.VOXEL_SIZE_XY << " cm x " << w.study.VOXEL_SIZE_XY << " cm x "
            << w.study.VOXEL_SIZE_Z << " cm\n";
  const char* names[4] = {"", "left ventricle (G) ", "right ventricle (D)", "neither            "};
  std::cout << "  class                labels   voxels per instant\n";
  for (int cls = 1; cls <= 3; ++cls) {
    std::printf("  %s  %5d  ", names[cls], counts[cls].labels);
    for (long v : counts[cls].voxels) std::printf(" %6ld", v);
    std::printf("\n");
  }
  std::fflush(stdout);
  const bool left = presentAtEveryInstant(counts[kClassLeft]), right = presentAtEveryInstant(counts[kClassRight]);
  std::cout << "  left ventricle at every instant  : " << (left ? "yes" : "no") << '\n';
  std::cout << "  right ventricle at every instant : " << (right ? "yes" : "no") << '\n';
  return left && right ? 0 : kExitVentricleMissing;
}

}  // namespace

void registerSegmentCommand(CLI::App& app, int& status) {
  auto args = std::make_shared<SegmentArgs>();
  CLI::App* cmd = app.add_subcommand(
      "segment", "Load an acquisition, validate the re-orientation with the given settings and segment it");
  cmd->add_option("file", args->file, "Acquisition file (DICOM)")->required()->check(CLI::ExistingFile);
  cmd->add_option("--crop", args->crop, "Row, column and side (voxels) of the in-plane square")
      ->expected(3)
      ->delimiter(',')
      ->capture_default_str();
  cmd->add_option("--rotation", args->rotationDeg, "In-plane rotation (degrees)")->capture_default_str();
  cmd->add_option("--septum", args->septum, "Column of the septum line")->check(CLI::Range(4, 60))->capture_default_str();
  cmd->add_option("--valve-row", args->valveRow, "Row of the valve-plane line")
      ->check(CLI::Range(4, 60))
      ->capture_default_str();
  cmd->add_option("--valve-angle", args->valveAngle, "Valve tilt (degrees)")
      ->check(CLI::Range(-40.0, 40.0))
      ->capture_default_str();
  cmd->add_option("--infundibulum", args->infundibulum, "First slice of the right ventricle (default: none)");
  cmd->add_option("--heart-rate", args->heartRate, "Heart rate in bpm when the file has none")
      ->check(CLI::Range(1, 1000));
  cmd->add_option("--lang", args->language, "Language of the messages: fr or en")
      ->check(CLI::IsMember({"fr", "en"}))
      ->capture_default_str();
  cmd->add_flag("--no-rebin", args->noRebin, "Keep 16 instants instead of re-binning them to 8");
  cmd->callback([args, &status] {
    const auto& crop = args->crop;
    const int half = crop[2] / 2;
    if (crop[2] < 16 || crop[2] > kMatrix || crop[2] % 2 != 0 || crop[0] - half < 0 || crop[0] + half > kMatrix ||
        crop[1] - half < 0 || crop[1] + half > kMatrix) {
      std::cerr << "quorvel-cli: --crop needs an even side of 16 to 64 with the square inside the 64 x 64 slice\n";
      status = kExitRefused;
      return;
    }
    status = runSegment(*args);
  });
}

}  // namespace quorvel::cli
