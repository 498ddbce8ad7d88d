// quorvel-cli segment FILE: loads an acquisition, validates the three re-orientation steps with
// the given settings, runs the automatic segmentation and prints what it found.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "base/language.h"
#include "commands.h"
#include "pipeline.h"
#include "segmentation/corrections.h"
#include "segmentation/segment_commands.h"
#include "study/loading.h"

namespace quorvel::cli {

namespace {

struct ClassCounts {
  std::vector<long> voxels;  // per instant
  int labels = 0;
};

// Voxels of each class per instant, by the rule of the presence check (slice limits, threshold).
std::vector<ClassCounts> countClasses(const StudyWorkspace& w, const Segmentation& seg) {
  const Study& s = w.study;
  std::vector<ClassCounts> out(4, ClassCounts{std::vector<long>(s.Ninst, 0), 0});
  for (int l = 1; l <= seg.NREG; ++l)
    if (seg.CARD[l] > 0 && seg.CORR[l] >= 1 && seg.CORR[l] <= 3) ++out[seg.CORR[l]].labels;
  for (int t = 0; t < s.Ninst; ++t)
    for (int z = 0; z < s.NCZ; ++z) {
      const size_t base = Segmentation::index(s.NCZ, t, z, 0, 0);
      for (size_t i = base; i < base + kSliceVoxels; ++i) {
        const int c = presenceClass(s, w.options, w.settings.limits, seg, t, z, i);
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

int runSegment(const PipelineArgs& a) {
  Session session;
  try {
    if (const int status = loadReorientSegment(a, session, false)) return status;
  } catch (const FatalExit& e) {
    return e.code;
  }
  const StudyWorkspace& w = session.ws.w;
  const Segmentation& seg = session.ws.seg;
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
  auto args = std::make_shared<PipelineArgs>();
  CLI::App* cmd = app.add_subcommand(
      "segment", "Load an acquisition, validate the re-orientation with the given settings and segment it");
  cmd->add_option("file", args->file, "Acquisition file (DICOM, IMA, Interfile or IDB)")->required()->check(CLI::ExistingFile);
  addPipelineOptions(cmd, *args);
  cmd->callback([cmd, args, &status] {
    notePlacementOptions(cmd, *args);
    if (const std::string why = checkPipelineArgs(*args); !why.empty()) {
      std::cerr << "quorvel-cli: " << why << '\n';
      status = kExitRefused;
      return;
    }
    status = runSegment(*args);
  });
}

}  // namespace quorvel::cli
