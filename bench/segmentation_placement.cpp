// The automatic placement on phantom studies as the command line loads them: 8 instants of 64
// slices (the 64 x 64 matrix), and 16 instants of 128 slices of 3.4 mm (a 128 x 128 matrix
// cropped into the 64 x 64 working matrix, not re-binned).
#include <benchmark/benchmark.h>

#include "phantom_study.h"
#include "segmentation/placement.h"

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

}  // namespace

BENCHMARK(BM_ProposePlacement)->Args({8, 64})->Args({16, 128})->Unit(benchmark::kMillisecond)->UseRealTime();
