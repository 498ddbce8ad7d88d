// The automatic placement on phantom studies as the command line loads them: 8 instants of 64
// slices (the 64 x 64 matrix), and 16 instants of 128 slices of 3.4 mm (a 128 x 128 matrix
// cropped into the 64 x 64 working matrix, not re-binned); and on noisy hearts of the phantom
// family read from their files (the first tuning cases of each matrix and instants). Targets:
// 50 ms for 8 x 64, 250 ms for 16 x 128.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "family_study.h"
#include "phantom_study.h"
#include "segmentation/placement.h"
#include "study/loading.h"

using namespace quorvel;

namespace {

void BM_ProposePlacement(benchmark::State& state) {
  const int instants = static_cast<int>(state.range(0)), slices = static_cast<int>(state.range(1));
  phantom::PhantomParams p = phantom::defaultParams();
  p.instants = instants;
  p.slices = slices;
  p.pixel_mm = p.slice_mm = 6.8 * 64 / slices;
  p.supersample = 2;
  StudyWorkspace w;
  quorvel::testing::loadPhantom(phantom::buildPhantom(p), w);
  for (auto _ : state) {
    const PlacementProposal proposal = proposePlacement(w.study);
    if (!proposal.proposed()) state.SkipWithError(proposal.why.en);
    benchmark::DoNotOptimize(proposal.placement.recad_t);
  }
}

const std::filesystem::path kFolder = std::filesystem::temp_directory_path() / "quorvel_bench_placement";
// A case of the family read as the command line reads it.
bool readFamilyCase(int matrix, int instants, int k, StudyWorkspace& w, std::string& name) {
  const std::filesystem::path file = quorvel::testing::familyStudyFile(matrix, instants, k, kFolder);
  if (file.empty()) return false;
  name = file.stem().string();
  TraceLog quiet;
  return static_cast<bool>(readAcquisition(file, 1, w, quiet));
}

void BM_ProposePlacementFamily(benchmark::State& state) {
  StudyWorkspace w;
  std::string name;
  if (!readFamilyCase(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                      static_cast<int>(state.range(2)), w, name)) {
    state.SkipWithError("no readable family case");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(proposePlacement(w.study).placement.recad_t);
  state.SetLabel(name);
}

}  // namespace

BENCHMARK(BM_ProposePlacementFamily)
    ->ArgNames({"matrix", "instants", "case"})
    ->ArgsProduct({{64}, {8}, {0, 1, 2}})
    ->ArgsProduct({{128}, {16}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ProposePlacement)->Args({8, 64})->Args({16, 128})->Unit(benchmark::kMillisecond)->UseRealTime();
