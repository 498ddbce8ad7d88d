// The numbers of `analyse --json` on a fixed set of studies, to the last digit: a change made for
// speed or tidiness must not move any result. The phantom in several poses, matrices and instants,
// noisy hearts of the varied family (faults, atria against the base, low counts) and two 3D models.
// Each case's JSON is fingerprinted and compared with tests/cli/golden/analyse.txt; a mismatch
// names the case and its headline numbers, and keeps the JSON in the test's folder to compare.
// QUORVEL_WRITE_GOLDEN=1 rewrites the file (after a change that is meant to move results).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "base/generation.h"
#include "phantom/family.h"
#include "phantom/writers.h"
#include "run_command.h"
#include "scratch_folder.h"

namespace quorvel::testing {
namespace {

struct GoldenCase {
  const char* name;
  phantom::PhantomParams params;
  const char* options;  // added to `analyse`
};

phantom::PhantomParams posed(int matrix, int instants, double rotation, double tilt, double rows, double slices,
                             bool mirror = false) {
  phantom::PhantomParams p = phantom::defaultParams(matrix);
  if (matrix == 128) p.slices = 72;  // keeps the file and the drawing small
  p.instants = instants;
  p.rotation_deg = rotation;
  p.tilt_deg = tilt;
  p.shift_row_mm = rows;
  p.shift_slice_mm = slices;
  p.mirror_slices = mirror;
  return p;
}

phantom::PhantomParams family(int index) { return phantom::drawFamilyCase(phantom::FamilySplit::Tuning, index).params; }

std::vector<GoldenCase> goldenCases() {
  return {
      {"default", phantom::defaultParams(), ""},
      {"turned_tilted", posed(64, 8, 25, -12, 10, -8), ""},
      {"mirrored_16", posed(64, 16, -30, 8, -12, 10, true), "--no-rebin"},
      {"rebinned_16", posed(64, 16, 10, 0, 0, 0), ""},
      {"matrix128_16", posed(128, 16, -15, 6, 8, 0), "--no-rebin"},
      {"family_3", family(3), ""},
      {"family_3_careful", family(3),
       "--crop 33,30,36 --rotation 33.413 --valve-angle -4.662 --septum 32 --valve-row 31"},
      {"family_7", family(7), ""},
      {"family_12", family(12), ""},
      {"family_16", family(16), ""},
      {"family_4_no_valley", family(4), ""},  // a small weak heart; its noise once hid the septal valley
      {"method2", posed(64, 8, 5, 3, 0, 0), "--method 2"},
      {"model3d", phantom::defaultParams(), "--3d"},
      {"model3d_family_14", family(14), "--3d --sectors 13"},
  };
}

std::map<std::string, std::string> readGolden(const std::filesystem::path& file) {
  std::map<std::string, std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') lines[line.substr(0, line.find(' '))] = line;
  return lines;
}

// The case's line: its name, the fingerprint of the whole JSON text and the headline numbers (for
// the reader of a failure, not compared on their own).
std::string goldenLine(const std::string& name, const std::string& jsonText) {
  const nlohmann::json j = nlohmann::json::parse(jsonText);
  char line[256];
  std::snprintf(line, sizeof line, "%s %016llx LVEF %.4f RVEF %.4f LVEDV %.4f RVEDV %.4f", name.c_str(),
                static_cast<unsigned long long>(fingerprintBytes(jsonText.data(), jsonText.size())),
                j.value("G_FES", -1.0), j.value("D_FES", -1.0), j.value("G_volmax", -1.0), j.value("D_volmax", -1.0));
  return line;
}

TEST(AnalyseGolden, EveryCaseGivesTheRecordedJsonToTheLastDigit) {
  const std::filesystem::path dir = scratchFolder();
  const std::filesystem::path goldenFile = std::filesystem::path(QUORVEL_CLI_GOLDEN_DIR) / "analyse.txt";
  const bool write = std::getenv("QUORVEL_WRITE_GOLDEN") != nullptr;
  const auto golden = readGolden(goldenFile);
  std::ostringstream fresh;
  fresh << "# case fingerprint-of-the-json headline-numbers (tests/cli/analyse_golden_test.cpp)\n";
  for (const GoldenCase& c : goldenCases()) {
    SCOPED_TRACE(c.name);
    const std::filesystem::path study =
        phantom::writeAcquisitions(phantom::buildPhantom(c.params), dir, c.name, {phantom::OutputFormat::DicomExplicit})
            .at(0);
    const std::filesystem::path json = dir / (std::string(c.name) + ".json");
    const Outcome o = run("QUORVEL_HOME=" + dir.string() + " " + QUORVEL_CLI + " analyse " + c.options + " " +
                          study.string() + " --json " + json.string());
    // Exit 6 is a study analysed with a warning: its numbers are recorded as well.
    ASSERT_TRUE(o.status == 0 || o.status == 6) << o.out;
    std::ifstream in(json);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    const std::string line = goldenLine(c.name, text);
    fresh << line << "\n";
    if (write) continue;
    const auto recorded = golden.find(c.name);
    ASSERT_NE(recorded, golden.end()) << "no recorded line for " << c.name << " (QUORVEL_WRITE_GOLDEN=1 records it)";
    EXPECT_EQ(recorded->second, line) << "the JSON is kept in " << json;
    std::filesystem::remove(study);
  }
  if (write) {
    std::ofstream(goldenFile) << fresh.str();
    GTEST_SKIP() << "recorded " << goldenFile;
  }
}

}  // namespace
}  // namespace quorvel::testing
