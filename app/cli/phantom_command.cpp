// quorvel-cli phantom: writes the digital gated blood-pool phantom and its ground truth.
#include <iostream>
#include <memory>
#include <stdexcept>

#include "commands.h"
#include "phantom_options.h"
#include "phantom/phantom.h"
#include "phantom/writers.h"

namespace quorvel::cli {

namespace {

struct PhantomCommandState {
  PhantomOptions scene;
  std::string out;
  std::string base = "phantom";
  std::vector<std::string> formats = {"dicom-il", "dicom-el", "dicom-eb", "interfile", "idb"};
};

int run(PhantomCommandState& st) {
  const phantom::PhantomParams p = phantomParamsOf(st.scene);
  std::vector<phantom::OutputFormat> formats;
  for (const std::string& name : st.formats) {
    phantom::OutputFormat f;
    if (!phantom::parseFormat(name, f)) {
      std::cerr << "phantom: unknown format " << name << "\n";
      return 2;
    }
    const std::string why = phantom::formatLimits(p, f);
    if (!why.empty()) {
      std::cerr << "phantom: " << why << "\n";
      return 2;
    }
    formats.push_back(f);
  }
  const std::string why = phantom::validate(p);
  if (!why.empty()) {
    std::cerr << "phantom: " << why << "\n";
    return 2;
  }
  try {
    const phantom::Phantom ph = phantom::buildPhantom(p);
    for (const auto& path : phantom::writeAcquisitions(ph, st.out, st.base, formats)) std::cout << path.string() << "\n";
    if (ph.clipped_voxels > 0)
      std::cerr << "phantom: " << ph.clipped_voxels << " voxels clipped at " << phantom::kMaxStoredCount
                << " counts; lower --counts\n";
  } catch (const std::exception& e) {
    std::cerr << "phantom: " << e.what() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

void registerPhantomCommand(CLI::App& app, int& status) {
  auto st = std::make_shared<PhantomCommandState>();
  CLI::App* cmd = app.add_subcommand(
      "phantom",
      "Write a digital gated blood-pool tomography with known volumes, and a ground-truth JSON beside each file");
  cmd->add_option("--out", st->out, "Output folder (created when missing)")->required();
  cmd->add_option("--name", st->base, "Base name of the files")->capture_default_str();
  cmd->add_option("--formats", st->formats,
                  "Files to write: dicom-il (implicit VR LE), dicom-el (explicit VR LE), dicom-eb (explicit VR BE), "
                  "interfile, idb")
      ->capture_default_str()
      ->delimiter(',');
  addSceneOptions(cmd, st->scene);
  addImageSpaceOptions(cmd, st->scene);
  cmd->callback([st, &status] { status = run(*st); });
}

}  // namespace quorvel::cli
