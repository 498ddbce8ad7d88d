#pragma once
// The wait window of the "3D" command: one progress bar over meshing, the regional analysis and
// the triangulation, advanced by steps; the user may cancel it.
#include <string>

#include "base/platform.h"

namespace quorvel {

class WaitWindow {
 public:
  // Shows the window with title; totalSteps fill the bar.
  WaitWindow(Platform& platform, const std::string& title, int totalSteps);
  ~WaitWindow();
  WaitWindow(const WaitWindow&) = delete;
  WaitWindow& operator=(const WaitWindow&) = delete;

  // Advances by n steps; false once the user asked to cancel (it stays false).
  bool step(int n = 1);
  bool cancelled() const { return cancelled_; }
  // Hides the window (also done by the destructor).
  void close();

 private:
  Platform& platform_;
  int total_;
  int done_ = 0;
  bool open_ = true;
  bool cancelled_ = false;
};

// Steps the "3D" command reports: per ventricle and instant in meshing, triangulation and normals,
// per ring and ventricle in the regional analysis.
int model3DProgressSteps(int Ninst, int mesh_samA);

}  // namespace quorvel
