// The automatic placement on phantom studies as the command line loads them: 8 instants of 64
// slices (the 64 x 64 matrix), and 16 instants of 128 slices of 3.4 mm (a 128 x 128 matrix
// cropped into the 64 x 64 working matrix, not re-binned); and on noisy hearts of the phantom
// family read from their files (the first tuning cases of each matrix and instants). Targets:
// 50 ms for 8 x 64, 250 ms for 16 x 128.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "phantom/family.h"
#include "phantom/writers.h"
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
constexpr int kCasesSearched = 200;

// The k-th tuning case of the family with this matrix and these instants, written once and read
// as the command line reads it.
bool readFamilyCase(int matrix, int instants, int k, StudyWorkspace& w, std::string& name) {
  for (int i = 0, found = 0; i < kCasesSearched; ++i) {
    const phantom::FamilyCase c = phantom::drawFamilyCase(phantom::FamilySplit::Tuning, i);
    if (c.params.matrix != matrix || c.params.instants != instants || found++ < k) continue;
    const std::filesystem::path file = kFolder / (c.name + "_el.dcm");
    if (!std::filesystem::exists(file)) {
      std::filesystem::create_directories(kFolder);
      phantom::writeAcquisitions(phantom::buildPhantom(c.params), kFolder, c.name,
                                 {phantom::OutputFormat::DicomExplicit});
    }
    name = c.name;
    TraceLog quiet;
    return static_cast<bool>(readAcquisition(file, 1, w, quiet));
  }
  return false;
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
