// quorvel-cli analyse --3d, run as a user runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "phantom/writers.h"
#include "png_size.h"

namespace quorvel::testing {
namespace {

TEST(CommandLine3D, AnalyseAddsTheModelsStatisticsAndSectorsToTheJson) {
  const auto dir = std::filesystem::path(QUORVEL_TEST_TMP) / "cli3d";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string file =
      phantom::writeAcquisitions(phantom::buildPhantom(phantom::defaultParams()), dir, "ph",
                                 {phantom::OutputFormat::DicomExplicit})
          .at(0)
          .string();
  auto cli = [&](const std::string& args) {
    const std::string command = "QUORVEL_HOME=" + dir.string() + " " + QUORVEL_CLI + " analyse " + file + " " + args +
                                " > " + (dir / "out.txt").string() + " 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_NE(cli("--3d --sectors 18"), 0);
  EXPECT_NE(cli("--3d --axial 50"), 0);
  ASSERT_EQ(cli("--3d --sectors 25 --axial 24 --angular 24 --json " + (dir / "r.json").string() + " --pictures " +
                (dir / "pictures").string()),
            0);
  EXPECT_EQ(pngSize(dir / "pictures" / "preview.png"), std::pair(512, 512));
  EXPECT_EQ(pngSize(dir / "pictures" / "model3d.png"), std::pair(512, 512));
  EXPECT_EQ(pngSize(dir / "pictures" / "bullseye.png"), std::pair(532, 285));
  std::ifstream in(dir / "r.json");
  const nlohmann::json j = nlohmann::json::parse(in);
  EXPECT_EQ(j["SECT_25"], 25);
  EXPECT_EQ(j["mesh_samA"], 24);
  for (const char* key : {"mesh_smoy_fej", "mesh_smoy_tej", "mesh_smoy_per", "mesh_smoy_pfr", "mesh_smoy_tper",
                          "mesh_smoy_tpfr"}) {
    ASSERT_EQ(j[key].size(), 2u) << key;
    EXPECT_EQ(j[key][0].size(), 25u) << key;
  }
  EXPECT_NEAR(j["mesh_fej_mean"][0].get<double>(), j["G_FES"].get<double>(), 6.0);
  EXPECT_GT(j["mesh_tej_std"][1].get<double>(), 0.0);
  EXPECT_EQ(j["valve_source"][0].size(), 8u);
  EXPECT_EQ(j["valve_source"][0][0], "voxels");
  EXPECT_EQ(j["regional_empty_curves"][0], 0);
  EXPECT_EQ(j["regional_empty_warning"][0], false);
  EXPECT_GT(j["PER_corr"].get<double>(), 0.0);
  std::ifstream text(dir / "out.txt");
  const std::string out((std::istreambuf_iterator<char>(text)), {});
  EXPECT_NE(out.find("Left Ventricle 3D\nSEF (%)   :    "), std::string::npos) << out;
  EXPECT_NE(out.find("Empty regional curves : 0 / 552"), std::string::npos) << out;
}

}  // namespace
}  // namespace quorvel::testing
