#pragma once
// Command-line options that describe the digital phantom's scene, shared by the commands that
// write it (as image-space files, or through the simulated camera).
#include <CLI/CLI.hpp>
#include <string>

#include "phantom/phantom.h"

namespace quorvel::cli {

struct PhantomOptions {
  phantom::PhantomParams p = phantom::defaultParams(64);
  double pixel = 0, sliceMm = 0;  // 0: the matrix's default
  int slices = 0;
  std::string fault = "none", rvFault = "none";
};

// The scene: size, sampling, pose, ventricles, anatomy, wall faults and patient.
void addSceneOptions(CLI::App* cmd, PhantomOptions& o);
// Blur, counts and noise of a phantom written in image space.
void addImageSpaceOptions(CLI::App* cmd, PhantomOptions& o);
// The parameters the options describe (defaults of the matrix filled in).
phantom::PhantomParams phantomParamsOf(const PhantomOptions& o);

}  // namespace quorvel::cli
