#include "model3d/wait_window.h"

#include <algorithm>

namespace quorvel {

WaitWindow::WaitWindow(Platform& platform, const std::string& title, int totalSteps)
    : platform_(platform), total_(std::max(1, totalSteps)) {
  platform_.beginProgress(title);
}

WaitWindow::~WaitWindow() { close(); }

bool WaitWindow::step(int n) {
  done_ = std::min(total_, done_ + n);
  if (!cancelled_ && open_ && !platform_.progress(static_cast<double>(done_) / total_)) cancelled_ = true;
  return !cancelled_;
}

void WaitWindow::close() {
  if (!open_) return;
  open_ = false;
  platform_.endProgress();
}

int model3DProgressSteps(int Ninst, int mesh_samA) { return 2 * Ninst * 3 + 2 * (mesh_samA - 1); }

}  // namespace quorvel
