#include "posegrid/grid_runs.h"

#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "base/trace_log.h"
#include "segmentation/placement.h"
#include "study/loading.h"

namespace fs = std::filesystem;

namespace quorvel::grid {

namespace {
constexpr int kExitWarned = 6;  // results written with warnings
}  // namespace

std::string Outcome::lastLogLine() const {
  std::string last = log;
  while (!last.empty() && last.back() == '\n') last.pop_back();
  const size_t cut = last.find_last_of('\n');
  return cut == std::string::npos ? last : last.substr(cut + 1);
}

Outcome analyse(const std::string& cli, const fs::path& file, const fs::path& work, const std::string& extra) {
  Outcome o;
  const fs::path json = work / "r.json", log = work / "log.txt";
  fs::remove(json);
  const std::string command = "QUORVEL_HOME=" + work.string() + " " + cli + " analyse " + file.string() + " --json " +
                              json.string() + " " + extra + " > " + log.string() + " 2>&1";
  const int raw = std::system(command.c_str());
  o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  std::ifstream in(log);
  o.log.assign(std::istreambuf_iterator<char>(in), {});
  if ((o.status == 0 || o.status == kExitWarned) && fs::exists(json)) {
    std::ifstream jin(json);
    const nlohmann::json j = nlohmann::json::parse(jin, nullptr, false);
    if (j.is_discarded()) return o;
    o.lvef = j["G_FES"];
    o.rvef = j["D_FES"];
    o.lvedv = j["G_volmax"];
    o.json = j;
  }
  return o;
}

// Row and column of the file image at which the loader's 64 x 64 crop starts, read from the
// loader's own trace.
std::pair<int, int> cropOrigin(const fs::path& file, const fs::path& work) {
  const fs::path folder = work / "trace";
  fs::create_directories(folder / "temp");
  std::ofstream(folder / "work_version.txt") << "pose-grid\n";
  TraceLog log(folder);
  StudyWorkspace w;
  if (!readAcquisition(file, kFormatDicom, w, log)) return {0, 0};
  std::ifstream in(log.path());
  std::string line;
  int x0 = 0, y0 = 0;
  while (std::getline(in, line)) {
    double cx, cy;
    if (std::sscanf(line.c_str(), "Crop  ::  centroid %lf %lf  ->  origin %d %d", &cx, &cy, &x0, &y0) == 4) break;
  }
  return {x0, y0};
}

// Milliseconds the proposal takes on the study as the command line loads it (median of runs).
double proposalMs(const fs::path& file, bool rebin, int runs) {
  StudyWorkspace w;
  w.options.RECH_8 = rebin ? 1 : 0;
  TraceLog log;
  if (!readAcquisition(file, kFormatDicom, w, log)) return -1;
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    const PlacementProposal p = proposePlacement(w.study);
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    if (!p.proposed()) return -1;
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}


}  // namespace quorvel::grid
