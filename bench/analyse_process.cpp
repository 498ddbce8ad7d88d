// `quorvel-cli analyse` as a user runs it, whole process (start, reading, placement, re-orientation,
// segmentation, curves, optionally the 3D model), on noisy hearts of the varied phantom family:
// the first tuning case of 8 instants on the 64 matrix and the first of 16 instants on the 128
// matrix. A whole process is what a user waits for: it counts the pages a fresh process maps,
// which an in-process loop reuses. Targets: 8 x 64 under 0.12 s, 16 x 128 under 0.35 s, the 3D
// model under 0.5 s more; the uncertainty of 20 splits (--uncertainty 20) on 8 x 64 under 3 s.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "family_study.h"

extern char** environ;

using namespace quorvel;

namespace {

const std::filesystem::path kFolder = std::filesystem::temp_directory_path() / "quorvel_bench_analyse_process";
// Runs the command line and waits for it; false when it could not start or ended abnormally.
bool runAnalyse(const std::string& study, bool model3d, int halvings) {
  std::vector<std::string> args{QUORVEL_CLI, "analyse", study};
  if (model3d) args.push_back("--3d");
  if (halvings > 0) args.insert(args.end(), {"--uncertainty", std::to_string(halvings)});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int started = posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&quiet);
  int status = 0;
  if (started != 0 || waitpid(pid, &status, 0) != pid) return false;
  // 0 analysed, 6 analysed with a warning: both are the whole work.
  return WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 6);
}

void BM_AnalyseProcess(benchmark::State& state) {
  const int matrix = static_cast<int>(state.range(0)), instants = static_cast<int>(state.range(1));
  const bool model3d = state.range(2) != 0;
  const int halvings = static_cast<int>(state.range(3));
  const std::string study = quorvel::testing::familyStudyFile(matrix, instants, 0, kFolder).string();
  if (study.empty()) {
    state.SkipWithError("no family case of this matrix and instants");
    return;
  }
  for (auto _ : state)
    if (!runAnalyse(study, model3d, halvings)) state.SkipWithError("analyse failed");
  state.SetLabel(std::filesystem::path(study).stem().string());
}

}  // namespace

BENCHMARK(BM_AnalyseProcess)
    ->ArgNames({"matrix", "instants", "3d", "uncertainty"})
    ->Args({64, 8, 0, 0})
    ->Args({128, 16, 0, 0})
    ->Args({64, 8, 1, 0})
    ->Args({128, 16, 1, 0})
    ->Args({64, 8, 0, 20})
    ->Args({128, 16, 0, 20})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
