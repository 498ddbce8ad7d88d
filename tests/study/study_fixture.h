#pragma once
// Shared set-up of the study tests: a scratch folder, a scripted platform, a workspace.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

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
  }
  std::filesystem::path write(const std::string& name, const std::vector<uint8_t>& bytes) {
    writeBytes(dir / name, bytes);
    return dir / name;
  }
  // Reads an acquisition into w as the open command does; its notices are kept in notices.
  Status open(const std::filesystem::path& p, int filter = 1) { return read(p, w, filter); }
  Status read(const std::filesystem::path& p, StudyWorkspace& into, int filter = 1) {
    notices.clear();
    return readAcquisition(p, filter, into, log, notices);
  }
  // Runs a DCMTK program; returns its exit status.
  static int run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

  std::filesystem::path dir;
  TraceLog log;
  StudyWorkspace w;
  Notices notices;
};

}  // namespace quorvel::testing
