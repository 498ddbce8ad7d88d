// The command line's main job and its companions, run as a user runs them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "phantom/writers.h"
#include "segmentation/method_comparison.h"
#include "segmentation_fixture.h"

namespace quorvel::testing {
namespace {

class CommandLine : public SegmentationTest {
 protected:
  // Runs quorvel-cli with its application folder in the test's folder; returns the exit status.
  int cli(const std::string& args, std::string* out = nullptr) {
    const auto file = dir / "out.txt";
    const std::string command = "QUORVEL_HOME=" + dir.string() + " " + QUORVEL_CLI + " " + args + " > " +
                                file.string() + " 2>&1";
    const int status = std::system(command.c_str());
    if (out) {
      std::ifstream in(file);
      *out = std::string((std::istreambuf_iterator<char>(in)), {});
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string phantomFile(const phantom::PhantomParams& p) {
    return phantom::writeAcquisitions(phantom::buildPhantom(p), dir, "ph", {phantom::OutputFormat::DicomExplicit})
        .at(0)
        .string();
  }
};

TEST_F(CommandLine, AnalysePrintsBothPanelsAndWritesTheSameNumbersAsJson) {
  const std::string file = phantomFile(phantom::defaultParams());
  std::string out;
  ASSERT_EQ(cli("analyse " + file + " --lang fr --json " + (dir / "r.json").string(), &out), 0) << out;
  EXPECT_NE(out.find("Ventricule Gauche\nVolume télédiastolique = "), std::string::npos) << out;
  EXPECT_NE(out.find("Ventricule Droit\n"), std::string::npos);
  EXPECT_NE(out.find("Méthode : courbe de référence (15 it.)"), std::string::npos);
  for (const char* stage : {"load", "re-orientation", "segmentation", "curves"})
    EXPECT_NE(out.find(stage), std::string::npos) << stage;

  std::ifstream in(dir / "r.json");
  const nlohmann::json j = nlohmann::json::parse(in);
  for (const char* key : {"G_volmax", "G_volmin", "G_VES", "G_debit", "G_FES", "G_TFS", "G_PER", "G_TPER", "G_PFR",
                          "G_TPFR", "D_volmax", "D_FES", "volG", "volD", "vidange_G", "vidange_D", "filling_G",
                          "filling_D", "CYCLE", "Ninst", "CARD_FREQ", "TACFIT_switch"})
    EXPECT_TRUE(j.contains(key)) << key;
  EXPECT_EQ(j["Ninst"], 8);
  EXPECT_EQ(j["volG"].size(), 8u);
  EXPECT_EQ(j["vidange_D"].size(), 512u);
  EXPECT_NEAR(j["G_FES"].get<double>(), 60.0, 5.0);
  char line[64];
  std::snprintf(line, sizeof line, "Fraction d'éjection = %2.0f %%", j["G_FES"].get<double>());
  EXPECT_NE(out.find(line), std::string::npos) << line;
  std::snprintf(line, sizeof line, "Temps de fin de systole : %d ms", j["G_TFS"].get<int>());
  EXPECT_NE(out.find(line), std::string::npos) << line;
}

TEST_F(CommandLine, AnalyseRefusesWhatItCannotUse) {
  std::ofstream(dir / "not.dcm") << "not a DICOM file";
  std::string out;
  EXPECT_EQ(cli("analyse " + (dir / "not.dcm").string(), &out), 2);
  EXPECT_NE(out.find("Unhandled DICOM file !"), std::string::npos) << out;  // English by default
  const std::string file = phantomFile(phantom::defaultParams());
  EXPECT_EQ(cli("analyse " + file + " --crop 10,10,32"), 2);  // square beyond the slice
  EXPECT_NE(cli("analyse " + file + " --method 0"), 0);
  // Classification lines that leave the left ventricle nowhere: the presence check refuses.
  EXPECT_EQ(cli("analyse " + file + " --septum 60 --lang en", &out), 4);
  EXPECT_NE(out.find("The left ventricle is absent for at least one instant ..."), std::string::npos) << out;
}

TEST_F(CommandLine, PlacementIsProposedUnlessTheUserGivesOrAsksOtherwise) {
  const std::string file = phantomFile(phantom::defaultParams());
  const std::string json = (dir / "r.json").string();
  auto placement = [&](const std::string& options, std::string* out = nullptr) {
    EXPECT_EQ(cli("analyse " + file + " --json " + json + " " + options, out), 0) << (out ? *out : options);
    std::ifstream in(json);
    return nlohmann::json::parse(in)["placement"];
  };
  std::string out;
  const nlohmann::json proposed = placement("", &out);
  EXPECT_EQ(proposed["source"], "auto");
  EXPECT_NE(out.find("placement (auto): square " + std::to_string(proposed["recad_x"].get<int>()) + ","),
            std::string::npos)
      << out;
  // What the user gives wins; the rest stays as proposed.
  const nlohmann::json mixed = placement("--crop 30,33,40 --valve-angle 2");
  EXPECT_EQ(mixed["source"], "options");
  EXPECT_EQ(mixed["recad_x"], 30);
  EXPECT_EQ(mixed["recad_y"], 33);
  EXPECT_EQ(mixed["recad_t"], 40);
  EXPECT_EQ(mixed["valves_angle"], 2.0);
  for (const char* kept : {"rotation", "septum_plano", "valves_plano_"}) EXPECT_EQ(mixed[kept], proposed[kept]) << kept;
  const nlohmann::json defaults = placement("--placement default");
  EXPECT_EQ(defaults, nlohmann::json({{"recad_x", 32}, {"recad_y", 32}, {"recad_t", 32}, {"rotation", 0.0},
                                      {"septum_plano", 32}, {"valves_plano_", 32}, {"valves_angle", 0.0},
                                      {"source", "default"}}));
}

TEST_F(CommandLine, AnalyseOfAStudyWhereNothingBeatsSaysWhyAndGivesNoNumbers) {
  phantom::PhantomParams p = phantom::defaultParams();
  p.lv.ef_percent = p.rv.ef_percent = 0.01;
  p.anatomy.base_descent_mm = 0;
  std::string out;
  EXPECT_EQ(cli("analyse " + phantomFile(p) + " --lang fr", &out), 6) << out;
  EXPECT_NE(out.find("Aucune structure ne bat au-dessus du bruit"), std::string::npos) << out;
  EXPECT_EQ(out.find("Fraction d'éjection"), std::string::npos) << out;
}

TEST_F(CommandLine, SegmentReportsBothVentriclesAtEveryInstant) {
  std::string out;
  ASSERT_EQ(cli("segment " + phantomFile(phantom::defaultParams()), &out), 0) << out;
  EXPECT_NE(out.find("left ventricle at every instant  : yes"), std::string::npos) << out;
  EXPECT_NE(out.find("right ventricle at every instant : yes"), std::string::npos) << out;
}

TEST_F(CommandLine, EvalMethodsWritesTheComparisonReport) {
  std::string out;
  const auto report = dir / "C-R.txt";
  ASSERT_EQ(cli("eval-methods --runs 3 --out " + report.string(), &out), 0) << out;
  std::ifstream in(report);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  size_t headers = 0;
  for (size_t p = text.find("\nTFS = "); p != std::string::npos; p = text.find("\nTFS = ", p + 1)) ++headers;
  EXPECT_EQ(headers, 18u);
  EXPECT_NE(text.find("TFS = 400 ms  -  FES = 65 %  -  Bruit 2 \n--------------------------\n\n"), std::string::npos);
  EXPECT_NE(text.find("Méthode  :  fit harmonique ( 2 harm. )\n"), std::string::npos);
  EXPECT_EQ(text.find("polynomial"), std::string::npos);  // method 3 is not reported
}

TEST(MethodComparison, NoiseFreeCurvesAreFittedCloseToTheirTruth) {
  TacFitState fit;
  INIT_TACFITNEW(fit);
  MethodComparison mc;
  mc.gauss_hist = loadGaussHist("/nonexistent");
  TraceLog log;
  const std::string report = DO_EVAL_TACS(fit, mc, FitContext{}, log, 2);
  // The first block: end systole 200 ms, EF 20 %, no noise; method 5 (splines) is its last method.
  const size_t block = report.find("TFS = 200 ms  -  FES = 20 %  -  Bruit 0");
  const size_t splines = report.find("fit par splines", block);
  ASSERT_NE(splines, std::string::npos);
  double fesMean = 0, fesSpread = 0;
  ASSERT_EQ(std::sscanf(report.c_str() + report.find("FES  :", splines), "FES  :   %lf  +/-  %lf", &fesMean, &fesSpread),
            2);
  EXPECT_LT(std::fabs(fesMean), 3.0);
  EXPECT_EQ(fesSpread, 0.0);  // a single run without noise
  EXPECT_EQ(fit.TACFIT_switch, kTacFitNew);  // the user's method is given back
}

TEST(MethodComparison, GaussianTableIsStandardNormalAndReadFromItsFileWhenPresent) {
  const std::vector<float> g = loadGaussHist("/nonexistent");
  ASSERT_EQ(g.size(), kGaussHistSize);
  double s = 0, s2 = 0;
  for (float v : g) s += v, s2 += double(v) * v;
  EXPECT_NEAR(s / g.size(), 0.0, 0.01);
  EXPECT_NEAR(s2 / g.size(), 1.0, 0.01);
  EXPECT_EQ(loadGaussHist("/nonexistent"), g);  // same seed, same table

  const auto folder = std::filesystem::path(QUORVEL_TEST_TMP) / "gauss";
  std::filesystem::create_directories(folder / "TACs");
  std::vector<float> table(kGaussHistSize);
  for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<float>(i % 97) - 48.0f;
  std::ofstream(folder / "TACs" / "GAUSS_HIST", std::ios::binary)
      .write(reinterpret_cast<const char*>(table.data()), static_cast<std::streamsize>(table.size() * sizeof(float)));
  EXPECT_EQ(loadGaussHist(folder), table);
  std::filesystem::resize_file(folder / "TACs" / "GAUSS_HIST", 1000);  // cut: not used
  EXPECT_EQ(loadGaussHist(folder), g);
}

}  // namespace
}  // namespace quorvel::testing
