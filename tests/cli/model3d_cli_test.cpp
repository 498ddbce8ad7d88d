// quorvel-cli analyse --3d, run as a user runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
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
  auto run = [&](const std::string& args) {
    const std::string command =
        "QUORVEL_HOME=" + dir.string() + " " + QUORVEL_CLI + " " + args + " > " + (dir / "out.txt").string() + " 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  auto cli = [&](const std::string& args) { return run("analyse " + file + " " + args); };
  EXPECT_NE(cli("--3d --sectors 18"), 0);
  EXPECT_NE(cli("--3d --axial 50"), 0);
  const std::string exam = (dir / "e.qvx").string();
  ASSERT_EQ(cli("--3d --sectors 25 --axial 24 --angular 24 --json " + (dir / "r.json").string() + " --save-exam " + exam),
            0);
  // Apart: the mosaic laid out for segmentation.png is kept in the exam, and reopening lays it
  // out for the screen again.
  ASSERT_EQ(cli("--3d --sectors 25 --axial 24 --angular 24 --pictures " + (dir / "pictures").string()), 0);
  EXPECT_EQ(pngSize(dir / "pictures" / "preview.png"), std::pair(512, 512));
  EXPECT_EQ(pngSize(dir / "pictures" / "model3d.png"), std::pair(512, 512));
  EXPECT_EQ(pngSize(dir / "pictures" / "bullseye.png"), std::pair(532, 285));
  EXPECT_EQ(pngSize(dir / "pictures" / "model3d-panels.png"), std::pair(608, 422));
  EXPECT_EQ(pngSize(dir / "pictures" / "segmental.png"), std::pair(512, 250));
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
  EXPECT_EQ(j["regional_failed_fits"].size(), 2u);
  EXPECT_EQ(j["regional_empty_warning"][0], false);
  EXPECT_GT(j["PER_corr"].get<double>(), 0.0);
  // The segments of both ventricles add up to their measured volume curves.
  const auto& seg = j["segmental"];
  ASSERT_TRUE(seg["valid"].get<bool>());
  const std::pair<const char*, const char*> sides[] = {{"left", "volG"}, {"right", "volD"}};
  for (const auto& [side, curve] : sides) {
    const auto& list = seg[side]["segments"];
    ASSERT_EQ(list.size(), side == std::string("left") ? 17u : 7u) << side;
    for (int t = 0; t < j["Ninst"].get<int>(); ++t) {
      double sum = 0;
      for (const auto& s : list) sum += s["ml_per_instant"][t].get<double>();
      EXPECT_NEAR(sum, j[curve][t].get<double>(), 1e-3 * sum) << side << " " << t;
    }
  }
  EXPECT_EQ(seg["left"]["segments"][16]["name"], "apex");
  // A healthy heart: its voxels and its surface nodes reach their minimum together.
  for (const char* side : {"left", "right"}) {
    EXPECT_GT(seg[side]["phase"]["synchrony"].get<double>(), 0.9) << side;
    EXPECT_GT(seg[side]["node_phase"]["nodes"].get<int>(), 24 * 24 / 4) << side;
    EXPECT_GT(seg[side]["node_phase"]["synchrony"].get<double>(), 0.9) << side;
  }
  std::ifstream text(dir / "out.txt");
  const std::string out((std::istreambuf_iterator<char>(text)), {});
  EXPECT_NE(out.find("Left Ventricle 3D\nSEF (%)   :    "), std::string::npos) << out;
  EXPECT_NE(out.find("Empty curves : 0 / 552"), std::string::npos) << out;

  // The exam reopened gives the same results, and saved again the same bytes.
  auto bytes = [](const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
  };
  const std::string saved = bytes(exam);
  ASSERT_EQ(run("exam " + exam + " --json " + (dir / "e.json").string() + " --save-exam " + exam), 0);
  std::ifstream reopened(dir / "e.json");
  nlohmann::json e = nlohmann::json::parse(reopened), analysed = j;
  for (const char* key : {"valve_source", "valve_voxels", "apex_source", "regional_empty_curves", "regional_failed_fits",
                          "regional_empty_warning", "placement", "quality"})
    analysed.erase(key);  // what the command line chose or found, not kept in an exam
  EXPECT_EQ(e, analysed);
  EXPECT_TRUE(bytes(exam) == saved);
  EXPECT_EQ(run("exam " + (dir / "r.json").string()), 2);  // not an exam
}

// The spreadsheet tables written for the phantom and read back against the JSON of the same run.
TEST(CommandLine3D, AnalyseWritesBothSpreadsheetTables) {
  const auto dir = std::filesystem::path(QUORVEL_TEST_TMP) / "cli_xls";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string file = phantom::writeAcquisitions(phantom::buildPhantom(phantom::defaultParams()), dir, "ph",
                                                      {phantom::OutputFormat::Interfile})
                               .at(0)
                               .string();
  auto cli = [&](const std::string& args) {
    const std::string command = "QUORVEL_HOME=" + dir.string() + " " + QUORVEL_CLI + " analyse " + file +
                                " --heart-rate 70 --axial 24 --angular 24 " + args + " > " +
                                (dir / "out.txt").string() + " 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_NE(cli("--xls17 t17 --sectors 13"), 0);
  EXPECT_NE(cli("--xls17 t17 --patient colour=red"), 0);
  ASSERT_EQ(cli("--xls " + (dir / "t").string() + " --xls17 " + (dir / "t17.xls").string() +
                " --patient name=DUPONT --patient lvef-2d=55 --json " + (dir / "r.json").string()),
            0);
  std::ifstream in(dir / "r.json");
  const nlohmann::json j = nlohmann::json::parse(in);
  auto read = [&](const char* name) {
    std::ifstream f(dir / name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
  };
  char fe[32];
  std::snprintf(fe, sizeof fe, "%-20.0f\t\t", j["G_FES"].get<double>());
  EXPECT_NE(read("t.xls").find("FE (pc)             \t\t" + std::string(fe)), std::string::npos);
  const std::string row = read("t17.xls").substr(read("t17.xls").rfind('\r') + 1);
  std::vector<std::string> cells(1);
  for (char c : row) c == '\t' ? void(cells.emplace_back()) : cells.back().push_back(c);
  ASSERT_EQ(cells.size(), 161u);
  auto value = [](double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%2.2f", v);
    return std::string(b);
  };
  EXPECT_EQ(cells[0], "DUPONT");
  EXPECT_EQ(cells[9], "55");
  EXPECT_EQ(cells[13], value(j["G_FES"].get<double>()));
  EXPECT_EQ(cells[56], value(j["D_FES"].get<double>()));
  EXPECT_EQ(cells[22], value(j["mesh_smoy_fej"][0][14].get<double>()));  // column 1: sector 15
  EXPECT_EQ(cells[65 + 4], value(j["mesh_smoy_fej"][1][16].get<double>()));  // column 5: sector 17
  // The fixed-frame segments after the 99 columns, as the JSON gives them.
  const nlohmann::json& seg = j["segmental"];
  EXPECT_EQ(cells[99 + 16], value(seg["left"]["segments"][16]["ef"].get<double>()));  // segment 17
  EXPECT_EQ(cells[133], value(seg["left"]["dyssynchrony_sd_pct"].get<double>()));
  EXPECT_EQ(cells[139 + 6], value(seg["right"]["segments"][6]["ef"].get<double>()));  // right apex
  EXPECT_EQ(cells[159], value(seg["phase_delay_lv_minus_rv_ms"].get<double>()));
}

}  // namespace
}  // namespace quorvel::testing
