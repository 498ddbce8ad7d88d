#pragma once
// Fixture of the segmentation tests: the pieces the segmentation routines work on (a workspace,
// a segmentation, a platform, a log) and a scratch application folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/scripted_platform.h"
#include "base/trace_log.h"
#include "phantom_study.h"
#include "scratch_folder.h"
#include "segmentation/segment_commands.h"
#include "study/loading.h"

namespace quorvel::testing {

class SegmentationTest : public ::testing::Test {
 protected:
  void SetUp() override { dir = scratchFolder(); }
  SegmentationContext context() { return SegmentationContext{w, seg, platform, log, dir}; }

  std::filesystem::path dir;
  ScriptedPlatform platform;
  TraceLog log;
  StudyWorkspace w;
  Segmentation seg;
};

}  // namespace quorvel::testing
