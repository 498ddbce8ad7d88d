#pragma once
// Independent work items spread over the cores with the standard library's threads.
#include <functional>

namespace quorvel {

// Threads to use for `threads` (0: every core), never more than there are items.
int workerCount(int threads, int items);

// Runs work(item, worker) for item = 0..count-1 on workerCount(threads, count) threads; worker is
// 0..workers-1 and tells which per-worker state to use. The calling thread works too and, after
// each item it finishes, calls onProgress(items finished so far) on itself only; when that returns
// false no further item is started and parallelFor returns false once the running ones finish.
// A last report of count follows when every item is done. An exception thrown by work stops the
// other items and is rethrown here.
bool parallelFor(int count, int threads, const std::function<void(int item, int worker)>& work,
                 const std::function<bool(int finished)>& onProgress);

}  // namespace quorvel
