#pragma once
// A simulated camera study from end to end: the unblurred phantom, its acquisition, the gated
// reconstruction, and the files a camera's console writes (a multi-frame NM "RECON GATED TOMO"
// with its detector, energy window and radiopharmaceutical modules) beside the truth.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "camera/acquisition.h"
#include "camera/reconstruction.h"
#include "phantom/phantom.h"

namespace quorvel::camera {

struct SimulatedStudy {
  phantom::Phantom phantom;  // counts: the reconstruction as stored
  AcquisitionParams acquisition;
  ReconParams recon;
  double storedPerReconstructed = 0;  // stored value per reconstructed count
  double projectionCounts = 0;        // counts in every projection of every instant
  nlohmann::json truth;
};

// The largest value stored: the reconstruction is scaled so that its maximum is this.
inline constexpr uint16_t kCameraMaxStored = 30000;

// Stage reports for long runs: "acquisition", "reconstruction" with the instant done.
using SimulationProgress = std::function<void(const std::string& stage, int done, int total)>;

// Throws std::invalid_argument with the reason when a parameter cannot be simulated.
SimulatedStudy simulateStudy(phantom::PhantomParams p, const AcquisitionParams& a, const ReconParams& r,
                             const SimulationProgress& progress = {});

std::vector<uint8_t> encodeCameraDicom(const SimulatedStudy& s);

// Writes dir/base.dcm and dir/base.dcm.truth.json; returns the study's path. Throws
// std::runtime_error when a file cannot be written.
std::filesystem::path writeCameraStudy(const SimulatedStudy& s, const std::filesystem::path& dir,
                                       const std::string& base);

}  // namespace quorvel::camera
