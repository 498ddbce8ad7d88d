#pragma once
// Fixture of the tests that drive a whole workstation: a scripted platform and a workstation on a
// scratch application folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "base/scripted_platform.h"
#include "phantom_session.h"
#include "scratch_folder.h"
#include "ui/workstation.h"

namespace quorvel::testing {

class WorkstationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = scratchFolder();
    ws = std::make_unique<Workstation>(platform, dir);
  }

  std::filesystem::path dir;
  ScriptedPlatform platform;
  std::unique_ptr<Workstation> ws;
};

}  // namespace quorvel::testing
