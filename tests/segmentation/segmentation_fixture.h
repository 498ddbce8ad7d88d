#pragma once
// Fixture of the segmentation tests: a workspace, a segmentation and a scratch application folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/scripted_platform.h"
#include "base/trace_log.h"
#include "phantom_study.h"
#include "segmentation/segment_commands.h"
#include "study/loading.h"

namespace quorvel::testing {

class SegmentationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = std::filesystem::path(QUORVEL_TEST_TMP) / (std::string(info->test_suite_name()) + "_" + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "temp");
  }
  SegmentationContext context() { return SegmentationContext{w, seg, platform, log, dir}; }

  std::filesystem::path dir;
  ScriptedPlatform platform;
  TraceLog log;
  StudyWorkspace w;
  Segmentation seg;
};

}  // namespace quorvel::testing
