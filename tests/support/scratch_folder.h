#pragma once
// A fresh folder per test, named after it, with the temp/ sub-folder an application folder has.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace quorvel::testing {

inline std::filesystem::path scratchFolder() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const auto dir = std::filesystem::path(QUORVEL_TEST_TMP) / (std::string(info->test_suite_name()) + "_" + info->name());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "temp");
  return dir;
}

}  // namespace quorvel::testing
