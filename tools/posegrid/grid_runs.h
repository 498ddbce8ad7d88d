#pragma once
// What the placement grids share: running `quorvel-cli analyse` on a phantom file, the loader's
// crop of it, and the proposal's time.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace quorvel::grid {

struct Outcome {
  int status = -1;  // the command's exit status; -1 when it did not exit
  double lvef = 0, rvef = 0, lvedv = 0;
  nlohmann::json json;  // the whole --json output when one was written
  std::string log;
  std::string lastLogLine() const;
};

// Runs `cli analyse file --json ... extra` with its own application folder in work.
Outcome analyse(const std::string& cli, const std::filesystem::path& file, const std::filesystem::path& work,
                const std::string& extra);

// Row and column of the file image at which the loader's 64 x 64 crop starts.
std::pair<int, int> cropOrigin(const std::filesystem::path& file, const std::filesystem::path& work);

// Milliseconds the proposal takes on the study as the command line loads it (median of runs);
// -1 when it is refused.
double proposalMs(const std::filesystem::path& file, bool rebin, int runs);

double median(std::vector<double> v);

}  // namespace quorvel::grid
