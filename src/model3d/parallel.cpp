#include "model3d/parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>
#include <vector>

namespace quorvel {

int workerCount(int threads, int items) {
  int n = threads > 0 ? threads : static_cast<int>(std::thread::hardware_concurrency());
  return std::max(1, std::min(n, items));
}

bool parallelFor(int count, int threads, const std::function<void(int item, int worker)>& work,
                 const std::function<bool(int finished)>& onProgress) {
  if (count <= 0) return true;
  const int workers = workerCount(threads, count);
  std::atomic<int> next{0}, finished{0};
  std::atomic<bool> stop{false};
  std::exception_ptr failure;
  std::atomic<bool> failed{false};
  auto run = [&](int worker, bool reporter) {
    for (;;) {
      if (stop.load()) return;
      const int item = next.fetch_add(1);
      if (item >= count) return;
      try {
        work(item, worker);
      } catch (...) {
        if (!failed.exchange(true)) failure = std::current_exception();
        stop = true;
        return;
      }
      const int done = finished.fetch_add(1) + 1;
      if (reporter && onProgress && !onProgress(done)) stop = true;
    }
  };
  std::vector<std::thread> pool;
  for (int w = 1; w < workers; ++w) pool.emplace_back(run, w, false);
  run(0, true);
  for (std::thread& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
  const bool complete = finished.load() == count;
  // The other threads may have finished the last items: bring the report to the end.
  if (complete && !stop.load() && onProgress) onProgress(count);
  return complete;
}

}  // namespace quorvel
