// quorvel-cli simulate: the phantom acquired by a simulated gamma camera and reconstructed as its
// console does, written as the camera's file with the truth beside it.
#include <chrono>
#include <iostream>
#include <memory>
#include <stdexcept>

#include "camera/camera_study.h"
#include "commands.h"
#include "phantom_options.h"

namespace quorvel::cli {

namespace {

struct SimulateCommandState {
  PhantomOptions scene;
  camera::AcquisitionParams acquisition;
  camera::ReconParams recon;
  std::string out, base = "camera", filter = "butterworth:5:0.4", attenuationCorrection = "off",
                   resolutionRecovery = "off";
  bool noiseFree = false;
};

int run(SimulateCommandState& st) {
  phantom::PhantomParams p = phantomParamsOf(st.scene);
  camera::AcquisitionParams a = st.acquisition;
  camera::ReconParams r = st.recon;
  a.seed = p.seed;
  a.noise = !st.noiseFree;
  r.attenuation_correction = st.attenuationCorrection == "on";
  r.resolution_recovery = st.resolutionRecovery == "on";
  if (const std::string why = camera::parseFilter(st.filter, r.filter); !why.empty()) {
    std::cerr << "simulate: " << why << "\n";
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  camera::SimulatedStudy s;
  try {
    s = camera::simulateStudy(p, a, r, [](const std::string& stage, int done, int total) {
      if (done < total) std::cerr << "simulate: " << stage << "...\n";
    });
  } catch (const std::invalid_argument& e) {
    std::cerr << "simulate: " << e.what() << "\n";
    return 2;
  }
  try {
    std::cout << camera::writeCameraStudy(s, st.out, st.base).string() << "\n";
  } catch (const std::exception& e) {
    std::cerr << "simulate: " << e.what() << "\n";
    return 1;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cerr << "simulate: " << static_cast<long long>(s.projectionCounts) << " counts in the projections, " << seconds
            << " s\n";
  return 0;
}

}  // namespace

void registerSimulateCommand(CLI::App& app, int& status) {
  auto st = std::make_shared<SimulateCommandState>();
  CLI::App* cmd = app.add_subcommand(
      "simulate",
      "Acquire the digital phantom with a simulated gamma camera (attenuation, collimator blur, scatter, Poisson "
      "counts per projection), reconstruct it by OSEM and write the camera's file with its ground truth");
  cmd->add_option("--out", st->out, "Output folder (created when missing)")->required();
  cmd->add_option("--name", st->base, "Base name of the files")->capture_default_str();
  addSceneOptions(cmd, st->scene);
  camera::AcquisitionParams& a = st->acquisition;
  cmd->add_option("--angles", a.angles, "Projection angles over the orbit")->capture_default_str();
  cmd->add_option("--orbit", a.orbit_deg, "Orbit (degrees): 180 or 360")
      ->capture_default_str()
      ->check(CLI::IsMember({180.0, 360.0}));
  cmd->add_option("--radius", a.radius_mm, "Axis of rotation to the collimator face (mm)")->capture_default_str();
  cmd->add_option("--activity", a.activity_mbq, "Injected activity (MBq)")->capture_default_str();
  cmd->add_option("--seconds-per-angle", a.seconds_per_angle, "Acquisition time per angle, whole cycle (s)")
      ->capture_default_str();
  cmd->add_option("--sensitivity", a.sensitivity_cps_per_mbq, "Camera sensitivity (counts/s per MBq)")
      ->capture_default_str();
  cmd->add_option("--scatter-fraction", a.scatter_fraction, "Share of the window's counts that scattered")
      ->capture_default_str();
  cmd->add_flag("--noise-free", st->noiseFree, "Expected counts in the projections, no Poisson noise");
  camera::ReconParams& r = st->recon;
  cmd->add_option("--iterations", r.iterations, "OSEM iterations")->capture_default_str();
  cmd->add_option("--subsets", r.subsets, "OSEM subsets (they divide the angles)")->capture_default_str();
  cmd->add_option("--attenuation-correction", st->attenuationCorrection, "Model the body's attenuation: on or off")
      ->capture_default_str()
      ->check(CLI::IsMember({"on", "off"}));
  cmd->add_option("--resolution-recovery", st->resolutionRecovery, "Model the collimator's blur: on or off")
      ->capture_default_str()
      ->check(CLI::IsMember({"on", "off"}));
  cmd->add_option("--filter", st->filter,
                  "Post-filter: none, butterworth:ORDER:CUTOFF (cycles/cm) or gaussian:FWHM (mm)")
      ->capture_default_str();
  cmd->callback([st, &status] { status = run(*st); });
}

}  // namespace quorvel::cli
