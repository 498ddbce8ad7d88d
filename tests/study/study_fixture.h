#pragma once
// Shared set-up of the study tests: a scratch folder, a scripted platform, a workspace.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/scripted_platform.h"
#include "base/trace_log.h"
#include "dicom_builder.h"
#include "study/loading.h"

namespace quorvel::testing {

class StudyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = std::filesystem::path(QUORVEL_TEST_TMP) / (std::string(info->test_suite_name()) + "_" + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    platform.screen = {1920, 1080};
  }
  std::filesystem::path write(const std::string& name, const std::vector<uint8_t>& bytes) {
    writeBytes(dir / name, bytes);
    return dir / name;
  }
  int open(const std::filesystem::path& p, int filter = 1) { return OPEN_ACQUISITION_PATH(p, filter, w, platform, log); }
  // Runs a DCMTK program; returns its exit status.
  static int run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

  std::filesystem::path dir;
  ScriptedPlatform platform;
  TraceLog log;
  StudyWorkspace w;
};

}  // namespace quorvel::testing
