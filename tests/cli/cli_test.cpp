// The command line's main job and its companions, run as a user runs them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <map>
#include <numbers>
#include <nlohmann/json.hpp>
#include <sstream>

#include "phantom/family.h"
#include "phantom/writers.h"
#include "png_size.h"
#include "scratch_folder.h"
#include "segmentation/placement_texts.h"

namespace quorvel::testing {
namespace {

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override { dir = scratchFolder(); }
  std::filesystem::path dir;
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
  std::string phantomFile(const phantom::PhantomParams& p, const std::string& name = "ph") {
    return phantom::writeAcquisitions(phantom::buildPhantom(p), dir, name, {phantom::OutputFormat::DicomExplicit})
        .at(0)
        .string();
  }
};

TEST_F(CommandLine, AnalysePrintsBothPanelsAndWritesTheSameNumbersAsJson) {
  const std::string file = phantomFile(phantom::defaultParams());
  std::string out;
  const auto pictures = dir / "pictures";
  ASSERT_EQ(cli("analyse " + file + " --lang fr --json " + (dir / "r.json").string() + " --pictures " + pictures.string(),
                &out),
            0)
      << out;
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
  EXPECT_FALSE(j.contains("warnings"));
  EXPECT_EQ(j["volG"].size(), 8u);
  EXPECT_EQ(j["vidange_D"].size(), 512u);
  EXPECT_NEAR(j["G_FES"].get<double>(), 60.0, 5.0);

  // The pictures of the stages, as PNG files of the sizes the views have.
  const struct {
    const char* name;
    int width, height;  // 0: a whole number of mosaic cells
  } pngs[] = {{"reorientation-0.png", 512, 512}, {"reorientation-1.png", 512, 512}, {"reorientation-2.png", 512, 512},
              {"segmentation.png", 0, 0},        {"curves.png", 1144, 436}};
  for (const auto& p : pngs) {
    const auto [width, height] = pngSize(pictures / p.name);
    if (p.width) {
      EXPECT_EQ(width, p.width) << p.name;
      EXPECT_EQ(height, p.height) << p.name;
    } else {
      EXPECT_EQ(width % 256, 0) << width;
      EXPECT_EQ(height % 128, 0) << height;
      EXPECT_GT(width * height, 256 * 128 * 4);  // the slices of both ventricles
    }
  }
  char line[64];
  std::snprintf(line, sizeof line, "Fraction d'éjection = %2.0f %%", j["G_FES"].get<double>());
  EXPECT_NE(out.find(line), std::string::npos) << line;
  std::snprintf(line, sizeof line, "Temps de fin de systole : %d ms", j["G_TFS"].get<int>());
  EXPECT_NE(out.find(line), std::string::npos) << line;
}

// A 128-matrix acquisition with the specified default placement: the square cuts the right ventricle. The
// results are printed with a warning per ventricle and a status of their own.
TEST_F(CommandLine, AnalyseWarnsWhenTheResultsCannotBeTrue) {
  phantom::PhantomParams p = phantom::defaultParams(128);
  p.instants = 16;
  std::string out;
  ASSERT_EQ(cli("analyse " + phantomFile(p) + " --placement default --json " + (dir / "r.json").string(), &out), 6)
      << out;
  EXPECT_NE(out.find("Left Ventricle\nTelediastolic volume = "), std::string::npos) << out;
  const std::string cut =
      "Right ventricle: the segmentation touches the edge of the re-orientation square; the results cannot be trusted.";
  EXPECT_NE(out.find(cut + "\n"), std::string::npos) << out;
  std::ifstream in(dir / "r.json");
  const nlohmann::json j = nlohmann::json::parse(in);
  ASSERT_TRUE(j.contains("warnings"));
  for (const auto& line : j["warnings"]) EXPECT_NE(out.find(line.get<std::string>() + "\n"), std::string::npos);
  EXPECT_NE(std::find(j["warnings"].begin(), j["warnings"].end(), cut), j["warnings"].end());

  // Square given, the rest proposed: sound results, but with the square one row up the segmentation
  // gives part of both ventricles to the other structures (LV EDV 103 -> 69 ml), so they hang on a
  // placement nobody checked.
  ASSERT_EQ(cli("analyse " + phantomFile(phantom::defaultParams()) + " --crop 30,33,40 --json " +
                    (dir / "s.json").string(),
                &out),
            6)
      << out;
  std::ifstream sin(dir / "s.json");
  const nlohmann::json s = nlohmann::json::parse(sin);
  EXPECT_GE(s["placement"]["ef_sensitivity"][0].get<double>(), 4.0);
  EXPECT_NE(out.find("Left ventricle: its ejection fraction moves by "), std::string::npos) << out;
}

TEST_F(CommandLine, AnalyseRefusesWhatItCannotUse) {
  std::ofstream(dir / "not.dcm") << "not a DICOM file";
  std::string out;
  EXPECT_EQ(cli("analyse " + (dir / "not.dcm").string(), &out), 2);
  EXPECT_NE(out.find("Unhandled DICOM file !"), std::string::npos) << out;  // English by default
  const std::string file = phantomFile(phantom::defaultParams());
  EXPECT_EQ(cli("analyse " + file + " --crop 10,10,32"), 2);  // square beyond the slice
  EXPECT_EQ(cli("analyse " + file + " --pictures " + (dir / "not.dcm").string(), &out), 2);  // a file, not a folder
  EXPECT_NE(out.find("cannot write"), std::string::npos) << out;
  EXPECT_NE(cli("analyse " + file + " --method 0"), 0);
  // Classification lines that leave the ventricles nowhere: the presence check refuses.
  EXPECT_EQ(cli("analyse " + file + " --placement default --septum 60 --valve-row 4 --lang en", &out), 4);
  EXPECT_NE(out.find("The left ventricle is absent for at least one instant ..."), std::string::npos) << out;
}

// The uncertainty of every global result: its parts, its interval about the printed value, the
// runs it took; refused where the placement is not the command's own.
TEST_F(CommandLine, AnalyseMeasuresTheUncertaintyOfItsResults) {
  const std::string file = phantomFile(phantom::defaultParams());
  std::string out;
  ASSERT_EQ(cli("analyse " + file + " --uncertainty 3 --xls " + (dir / "t.xls").string() + " --json " +
                    (dir / "r.json").string(),
                &out),
            0)
      << out;
  std::ifstream table(dir / "t.xls", std::ios::binary);
  EXPECT_NE(std::string((std::istreambuf_iterator<char>(table)), {}).find("IC 95 %"), std::string::npos);
  EXPECT_NE(out.find("Uncertainty (standard; counting, placement; 95 % interval):\nG_FES "), std::string::npos) << out;
  std::ifstream in(dir / "r.json");
  const nlohmann::json j = nlohmann::json::parse(in);
  const nlohmann::json& u = j.at("uncertainty");
  EXPECT_TRUE(u["valid"].get<bool>());
  EXPECT_EQ(u["halvings"], 3);
  EXPECT_EQ(u["counting_runs"], 6);
  EXPECT_EQ(u["placement_runs"].get<int>() + u["failed_runs"].get<int>(), 14);
  for (const char* key : {"G_FES", "G_volmax", "G_volmin", "G_TFS", "G_PER", "G_PFR", "D_FES", "D_volmax", "D_volmin",
                          "D_TFS", "D_PER", "D_PFR"}) {
    const nlohmann::json& r = u["results"].at(key);
    EXPECT_DOUBLE_EQ(r["value"].get<double>(), j[key].get<double>()) << key;
    EXPECT_GT(r["u"].get<double>(), 0.0) << key;
    const double u95 = 1.959964 * r["u"].get<double>();
    EXPECT_NEAR(r["high95"].get<double>() - r["value"].get<double>(), u95, 1e-5 * u95 + 1e-9) << key;
  }
  EXPECT_EQ(cli("analyse " + file + " --uncertainty 3 --reprojection", &out), 2);
  EXPECT_NE(out.find("--uncertainty needs the placement of the command"), std::string::npos) << out;
  EXPECT_NE(cli("analyse " + file + " --uncertainty 1"), 0);
  // Written without a number it takes the default thinnings (it once took none and measured nothing).
  ASSERT_EQ(cli("analyse " + file + " --json " + (dir / "d.json").string() + " --uncertainty", &out), 0) << out;
  std::ifstream byDefault(dir / "d.json");
  EXPECT_EQ(nlohmann::json::parse(byDefault).at("uncertainty")["counting_runs"], 40);  // 20 thinnings, two halves each
}

// Exams of one patient: a fall of the left ejection fraction from 60 % to 45 % is flagged, one to
// 57 % is not; another patient's exam is refused unless asked for.
TEST_F(CommandLine, CompareFlagsAFallOfTheLeftEjectionFraction) {
  auto exam = [&](double ef, const std::string& name, const std::string& id) {
    phantom::PhantomParams p = phantom::defaultParams();
    p.lv.ef_percent = ef;
    p.patient.id = id;
    const std::string file = phantomFile(p, name);
    const std::string saved = (dir / (name + ".qvx")).string();
    EXPECT_EQ(cli("analyse " + file + " --save-exam " + saved), 0) << name;
    return std::pair{saved, file};
  };
  const auto [at60, acquisition60] = exam(60, "e60", "QPH0001");
  const auto [at45, acquisition45] = exam(45, "e45", "QPH0001");
  const auto [at57, acquisition57] = exam(57, "e57", "QPH0001");
  const auto [other, acquisitionOther] = exam(45, "other", "QPH0002");
  std::string out;
  const auto json = (dir / "c.json").string();
  ASSERT_EQ(cli("compare " + at60 + " " + at45 + " --uncertainty 3 --json " + json + " --acquisition " +
                    acquisition60 + " --acquisition " + acquisition45,
                &out),
            10)
      << out;
  EXPECT_NE(out.find("FLAG: the left ejection fraction meets the criterion fall10-below50"), std::string::npos) << out;
  std::ifstream in(json);
  const nlohmann::json j = nlohmann::json::parse(in);
  ASSERT_EQ(j["exams"].size(), 2u);
  EXPECT_TRUE(j["exams"][0]["uncertainty"]["placement_measured"].get<bool>());
  const nlohmann::json& pair = j["pairs"].at(0);
  EXPECT_TRUE(pair["flag"].get<bool>());
  const double before = j["exams"][0]["uncertainty"]["results"]["G_FES"]["value"].get<double>();
  const double after = j["exams"][1]["uncertainty"]["results"]["G_FES"]["value"].get<double>();
  EXPECT_NEAR(pair["change"]["G_FES"].get<double>(), after - before, 1e-9);
  EXPECT_LT(after - before, -pair["mdc"]["G_FES"].get<double>());
  EXPECT_EQ(pair["mdc_from"]["G_FES"], "repeat exams");

  const auto plot = dir / "trend.png";
  ASSERT_EQ(cli("compare " + at60 + " " + at57 + " --uncertainty 3 --plot " + plot.string(), &out), 0) << out;
  EXPECT_EQ(pngSize(plot), std::pair(600, 320));
  EXPECT_NE(out.find("No flag"), std::string::npos) << out;
  EXPECT_NE(out.find("minimal detectable change 7.8 (repeat exams): within it"), std::string::npos) << out;
  EXPECT_NE(out.find("counting part only"), std::string::npos) << out;
  EXPECT_EQ(cli("compare " + at60 + " " + other + " --uncertainty 3", &out), 2);
  EXPECT_NE(out.find("(patient ID differ)"), std::string::npos) << out;
  EXPECT_EQ(cli("compare " + at60 + " " + other + " --uncertainty 3 --other-patient", &out), 10) << out;
  EXPECT_EQ(cli("compare " + at60 + " " + at45 + " --acquisition " + acquisition60, &out), 2);
  // An acquisition of another patient does not give an exam its placement part.
  EXPECT_EQ(cli("compare " + at60 + " " + at45 + " --uncertainty 3 --acquisition " + acquisitionOther +
                    " --acquisition " + acquisition45,
                &out),
            2);
  EXPECT_NE(out.find("is not of the patient of"), std::string::npos) << out;
}

TEST_F(CommandLine, ScriptDrivesTheWholeRoadToTheResultsOfAnalyse) {
  const std::string file = phantomFile(phantom::defaultParams());
  std::ofstream(dir / "road.qs") << "# the whole road by events, the placement by hand\n"
                                    "command 205\n"
                                    "open " << file << "\n"
                                    "expect-stage 1\n"
                                    "picture main " << (dir / "s1.png").string() << "\n"
                                    "press reorientation 256 256 left\n"
                                    "move reorientation 272 256\n"
                                    "release reorientation 272 256 left\n"
                                    "key PageUp\n"
                                    "key Return\nkey Tab\nkey Return\nkey Return\n"
                                    "expect-stage 2\n"
                                    "picture main " << (dir / "s2.png").string() << "\n"
                                    "press segmentation 300 300 right\n"
                                    "release segmentation 300 300 right\n"
                                    "key BackSpace\n"
                                    "command 52\n"
                                    "expect-stage 3\n"
                                    "key Right\n"
                                    "picture main " << (dir / "s3.png").string() << "\n"
                                    "picture curve-right " << (dir / "s3r.png").string() << "\n"
                                    "json " << (dir / "road.json").string() << "\n";
  std::string out;
  ASSERT_EQ(cli("script " + (dir / "road.qs").string(), &out), 0) << out;
  // Pictures of the stages as the desktop would show them.
  EXPECT_EQ(pngSize(dir / "s1.png"), std::pair(512, 512));
  EXPECT_EQ(pngSize(dir / "s2.png").second % 128, 0);
  EXPECT_GT(pngSize(dir / "s2.png").first, 0);
  EXPECT_EQ(pngSize(dir / "s3.png"), std::pair(1144, 436));
  EXPECT_EQ(pngSize(dir / "s3r.png"), std::pair(512, 400));
  // The drag moved the square two voxels across, Page up the septum one column.
  ASSERT_EQ(cli("analyse " + file + " --placement default --crop 32,34,32 --septum 33 --method 2 --json " +
                    (dir / "a.json").string(),
                &out),
            0)
      << out;
  std::ifstream road(dir / "road.json"), analysed(dir / "a.json");
  nlohmann::json fromAnalyse = nlohmann::json::parse(analysed);
  EXPECT_EQ(fromAnalyse["placement"]["source"], "options");
  fromAnalyse.erase("placement");
  fromAnalyse.erase("quality");  // the command line's checks after segmentation
  EXPECT_EQ(nlohmann::json::parse(road), fromAnalyse);

  std::ofstream(dir / "wrong.qs") << "open " << file << "\nexpect-stage 3\ncommand 52\n";
  EXPECT_EQ(cli("script " + (dir / "wrong.qs").string(), &out), 1);
  EXPECT_NE(out.find("FAILED: stage is 1, expected 3"), std::string::npos) << out;
  EXPECT_EQ(out.find("line 3"), std::string::npos) << "the script stops at the failure";
  std::ofstream(dir / "bad.qs") << "jump 3\n";
  EXPECT_EQ(cli("script " + (dir / "bad.qs").string(), &out), 2);
  EXPECT_NE(out.find("line 1: unknown event jump"), std::string::npos) << out;
}

TEST_F(CommandLine, ReprojectionFollowsTheLeftVentricle) {
  // The phantom lies in the working pose already: no rotation, no tilt. Atria against the base
  // draw the grown region into them; a band of background keeps them apart.
  for (double ef : {30.0, 75.0}) {
    phantom::PhantomParams p = phantom::defaultParams();
    p.lv.ef_percent = ef;
    p.anatomy.atrial_gap_mm = 20;
    std::string out;
    ASSERT_EQ(cli("analyse " + phantomFile(p) + " --reprojection --rotation 0 --valve-angle 0 --json " +
                      (dir / "r.json").string(),
                  &out),
              0)
        << out;
    std::ifstream in(dir / "r.json");
    const nlohmann::json j = nlohmann::json::parse(in);
    EXPECT_NEAR(j["G_FES"].get<double>(), ef, 4.0);
    EXPECT_EQ(j["D_volmax"].get<double>(), 0.0);  // no right ventricle in this mode
    EXPECT_EQ(j["TACFIT_switch"], 2);
  }
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
  const nlohmann::json mixed = placement("--crop 31,33,44 --valve-angle 2");
  EXPECT_EQ(mixed["source"], "options");
  EXPECT_EQ(mixed["recad_x"], 31);
  EXPECT_EQ(mixed["recad_y"], 33);
  EXPECT_EQ(mixed["recad_t"], 44);
  EXPECT_EQ(mixed["valves_angle"], 2.0);
  for (const char* kept : {"rotation", "septum_plano", "valves_plano_"}) EXPECT_EQ(mixed[kept], proposed[kept]) << kept;
  const nlohmann::json defaults = placement("--placement default");
  EXPECT_EQ(defaults, nlohmann::json({{"recad_x", 32}, {"recad_y", 32}, {"recad_t", 32}, {"rotation", 0.0},
                                      {"septum_plano", 32}, {"valves_plano_", 32}, {"valves_angle", 0.0},
                                      {"source", "default"}}));
}

// Family hearts the placement once turned away, refused or cut: a dilated left ventricle of EF 14 %
// beside a normal right one (its weak base led the levelling across the septum 28 degrees away), a
// small heart at 8 M counts whose whole-study count beats 36 degrees out of its ventricles' phase
// (refused as "nothing beats" when the stroke took that phase), and a dyskinetic right free wall
// whose bulge dips the stroke along the axis before the base (the valve line was put mid-ventricle:
// right EF +50 points). Each is placed along its own axis, and both ejection fractions come within
// 5 and 8 points of the voxelised truth, as the command line sees it (16 instants summed in pairs).
TEST_F(CommandLine, HardFamilyHeartsArePlacedAlongTheirOwnAxis) {
  const struct {
    phantom::FamilySplit split;
    int index;
  } kCases[] = {{phantom::FamilySplit::Tuning, 17}, {phantom::FamilySplit::Tuning2, 18},
                {phantom::FamilySplit::Tuning2, 31}};
  auto truthEf = [](std::vector<double> v) {
    if (v.size() == 16)
      for (size_t i = 0; i < 8; ++i) v[i] = 0.5 * (v[2 * i] + v[2 * i + 1]);
    v.resize(std::min<size_t>(v.size(), 8));
    return 100 * (v[0] - *std::min_element(v.begin(), v.end())) / v[0];
  };
  for (const auto& c : kCases) {
    const phantom::PhantomParams p = phantom::drawFamilyCase(c.split, c.index).params;
    SCOPED_TRACE(p.patient.id);
    const std::filesystem::path study = phantomFile(p);
    const std::string json = (dir / "r.json").string();
    std::string out;
    ASSERT_EQ(cli("analyse " + study.string() + " --json " + json, &out), 0) << out;
    std::ifstream in(json);
    const nlohmann::json r = nlohmann::json::parse(in);
    const double rotationDeg = r["placement"]["rotation"].get<double>() * 180 / std::numbers::pi;
    EXPECT_NEAR(rotationDeg, -p.rotation_deg, 15.0);  // rows follow the long axis when rotation undoes the pose
    std::ifstream tin(std::filesystem::path(study).replace_extension(".truth.json"));
    const auto volumes = nlohmann::json::parse(tin)["voxelised_structures_ml_per_instant"];
    EXPECT_NEAR(r["G_FES"].get<double>(), truthEf(volumes["left_ventricle"].get<std::vector<double>>()), 5.0);
    EXPECT_NEAR(r["D_FES"].get<double>(), truthEf(volumes["right_ventricle"].get<std::vector<double>>()), 8.0);
  }
}

// A left ventricle of EF 8 % beside a dyskinetic right free wall: the first look at the study
// sees little but the right ventricle's beat, and its proposal left the right ventricle out of the
// segmentation (refused as absent). It is proposed again from a smoother look, and the numbers come
// flagged for a person.
TEST_F(CommandLine, AProposalThatLeavesAVentricleOutIsMadeAgainAndFlagged) {
  const phantom::PhantomParams p = phantom::drawFamilyCase(phantom::FamilySplit::Test3, 69).params;
  const std::string json = (dir / "r.json").string();
  std::string out;
  ASSERT_EQ(cli("analyse " + phantomFile(p) + " --json " + json, &out), 6) << out;
  EXPECT_NE(out.find("leaves a ventricle out: proposing again from a smoother look"), std::string::npos) << out;
  std::ifstream in(json);
  const nlohmann::json placement = nlohmann::json::parse(in)["placement"];
  EXPECT_EQ(placement["confidence"], 0.0);
  const auto checks = placement["checks"].get<std::vector<std::string>>();
  EXPECT_NE(std::find(checks.begin(), checks.end(), std::string(placement_texts::kLaterLook.en)), checks.end());
}

TEST_F(CommandLine, AnalyseOfAStudyWhereNothingBeatsSaysWhyAndGivesNoNumbers) {
  phantom::PhantomParams p = phantom::defaultParams();
  p.lv.ef_percent = p.rv.ef_percent = 0.01;
  p.anatomy.base_descent_mm = 0;
  std::string out;
  EXPECT_EQ(cli("analyse " + phantomFile(p) + " --lang fr", &out), 8) << out;
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


// The rows of a CSV table written by batch (no quoted commas in the cells compared).
std::vector<std::vector<std::string>> csvRows(const std::filesystem::path& p) {
  std::ifstream in(p);
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    rows.emplace_back(1);
    for (char c : line) c == ',' ? void(rows.back().emplace_back()) : rows.back().back().push_back(c);
  }
  return rows;
}

TEST_F(CommandLine, BatchGivesEveryStudyItsRowWhateverTheWorkers) {
  const auto studies = dir / "studies";
  phantom::PhantomParams weak = phantom::defaultParams();
  weak.lv.ef_percent = 45;
  phantom::writeAcquisitions(phantom::buildPhantom(phantom::defaultParams()), studies, "a",
                             {phantom::OutputFormat::DicomExplicit});
  phantom::writeAcquisitions(phantom::buildPhantom(weak), studies / "sub", "b", {phantom::OutputFormat::DicomBig});
  {
    std::ifstream whole(studies / "a_el.dcm", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(whole)), {});
    std::ofstream(studies / "cut.dcm", std::ios::binary) << bytes.substr(0, 20000);
  }
  std::string out;
  ASSERT_EQ(cli("batch " + studies.string() + " --out " + (dir / "one" / "t.csv").string() + " --jobs 1", &out), 0) << out;
  EXPECT_NE(out.find("3 / 3 studies done, 1 failed"), std::string::npos) << out;
  EXPECT_NE(out.find("3 studies, 1 failed, 0 to review -> "), std::string::npos) << out;
  ASSERT_EQ(cli("batch " + studies.string() + " --out " + (dir / "two" / "t.csv").string() + " --jobs 2"), 0);
  // A square that puts the results on a cliff: the study is analysed, and counted to review.
  const std::string cliffTable = (dir / "cliff" / "t.csv").string();
  ASSERT_EQ(cli("batch " + studies.string() + " --out " + cliffTable + " --crop 30,33,40", &out), 0);
  const auto cliff = csvRows(dir / "cliff" / "t.csv");
  ASSERT_EQ(cliff.size(), 4u);
  const size_t status = cliff[0].size() - 2;  // the message after it holds commas of its own
  EXPECT_EQ(cliff[1][status], "implausible");
  std::string message;
  for (size_t k = status + 1; k < cliff[1].size(); ++k) message += cliff[1][k];
  EXPECT_NE(message.find("ejection fraction moves by"), std::string::npos) << message;
  const long review =
      std::count_if(cliff.begin(), cliff.end(), [&](const auto& row) { return row[status] == "implausible"; });
  EXPECT_NE(out.find("3 studies, 1 failed, " + std::to_string(review) + " to review -> "), std::string::npos) << out;
  const auto table = csvRows(dir / "one" / "t.csv");
  EXPECT_EQ(csvRows(dir / "two" / "t.csv"), table);
  ASSERT_EQ(table.size(), 4u);
  const std::vector<std::string>& header = table[0];
  ASSERT_GE(header.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(header.end() - 3, header.end()), (std::vector<std::string>{"file", "status", "message"}));
  EXPECT_EQ(table[1][header.size() - 3], "a_el.dcm");
  EXPECT_EQ(table[1][header.size() - 2], "ok");
  EXPECT_EQ(table[2][header.size() - 3], "cut.dcm");
  EXPECT_EQ(table[2][header.size() - 2], "refused");
  EXPECT_FALSE(table[2].back().empty());
  EXPECT_EQ(table[3][header.size() - 3], "sub/b_eb.dcm");
  EXPECT_TRUE(std::filesystem::exists(dir / "one" / "sub" / "b_eb.dcm.json"));

  // A good study's row holds what analyse --json gives for it.
  ASSERT_EQ(cli("analyse " + (studies / "a_el.dcm").string() + " --json " + (dir / "a.json").string()), 0);
  std::ifstream in(dir / "a.json");
  const nlohmann::json j = nlohmann::json::parse(in);
  int compared = 0;
  for (size_t k = 0; k + 3 < header.size(); ++k) {
    const std::string& key = header[k];
    if (key.rfind("quality.", 0) == 0) continue;  // the batch's rows do not carry the checks' figures yet
    nlohmann::json v = j;  // "object.member", and ".left" / ".right" for the halves of a pair
    std::stringstream path(key);
    for (std::string part; std::getline(path, part, '.');)
      v = v.is_array() && (part == "left" || part == "right") ? v[part == "left" ? 0 : 1] : v[part];
    EXPECT_EQ(table[1][k], v.is_string() ? v.get<std::string>() : v.dump()) << key;
    ++compared;
  }
  EXPECT_GT(compared, 20);
  const size_t fe = static_cast<size_t>(std::find(header.begin(), header.end(), "G_FES") - header.begin());
  ASSERT_LT(fe, header.size());
  EXPECT_LT(std::stod(table[3][fe]), std::stod(table[1][fe]) - 8);  // the weaker ventricle
}

// Studies whose names once met in one JSON, a table written inside the folder of studies, a study
// written one instant per file: one row each, with its own results.
TEST_F(CommandLine, BatchNamesEveryStudysOutputsApartAndReadsTheWholeFolder) {
  const auto studies = dir / "studies";
  phantom::PhantomParams weak = phantom::defaultParams();
  weak.lv.ef_percent = 40;
  const auto strong = phantom::buildPhantom(phantom::defaultParams());
  phantom::writeAcquisitions(strong, studies, "x_y", {phantom::OutputFormat::DicomExplicit});
  phantom::writeAcquisitions(phantom::buildPhantom(weak), studies / "x", "y", {phantom::OutputFormat::DicomExplicit});
  phantom::writeAcquisitions(strong, studies, "s", {phantom::OutputFormat::Interfile});
  std::string out;
  ASSERT_EQ(cli("batch " + studies.string() + " --out " + (studies / "t.csv").string() + " --jobs 2", &out), 0) << out;
  const auto table = csvRows(studies / "t.csv");
  ASSERT_EQ(table.size(), 4u) << out;  // the series of 8 Interfile headers is one study
  const std::vector<std::string>& header = table[0];
  const size_t fe = static_cast<size_t>(std::find(header.begin(), header.end(), "G_FES") - header.begin());
  ASSERT_LT(fe, header.size());
  std::map<std::string, double> ef;
  for (size_t r = 1; r < table.size(); ++r) {
    EXPECT_EQ(table[r][header.size() - 2], "ok") << table[r][header.size() - 3];
    ef[table[r][header.size() - 3]] = std::stod(table[r][fe]);
  }
  EXPECT_EQ(ef.count("s01.hdr"), 1u);
  EXPECT_LT(ef.at("x/y_el.dcm"), ef.at("x_y_el.dcm") - 8);
  for (const auto& [file, value] : ef) {
    std::ifstream in(studies / (file + ".json"));
    EXPECT_EQ(nlohmann::json::parse(in)["G_FES"].get<double>(), value) << file;
  }
  // Another instant's header opens the whole series.
  ASSERT_EQ(cli("analyse " + (studies / "s02.hdr").string() + " --json " + (dir / "s02.json").string()), 0);
  std::ifstream in(dir / "s02.json");
  EXPECT_EQ(nlohmann::json::parse(in)["G_FES"].get<double>(), ef.at("s01.hdr"));
  std::filesystem::copy_file(studies / "s03.hdr", dir / "lone03.hdr");
  std::filesystem::copy_file(studies / "s03.img", dir / "lone03.img");
  EXPECT_EQ(cli("analyse " + (dir / "lone03.hdr").string(), &out), 2);
  EXPECT_NE(out.find("first instant"), std::string::npos) << out;
}

TEST_F(CommandLine, BatchStopsOnRefusedOptionsAndFailsWhenNoStudyIsAnalysed) {
  const auto studies = dir / "studies";
  const std::string file = phantom::writeAcquisitions(phantom::buildPhantom(phantom::defaultParams()), studies, "a",
                                                      {phantom::OutputFormat::DicomExplicit})
                               .at(0)
                               .string();
  std::string out;
  EXPECT_EQ(cli("batch " + studies.string() + " --out " + (dir / "t.csv").string() + " --method 9", &out), 2);
  EXPECT_FALSE(std::filesystem::exists(dir / "t.csv"));
  EXPECT_NE(out.find("--method"), std::string::npos) << out;
  {
    std::ifstream whole(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(whole)), {});
    std::ofstream(file, std::ios::binary) << bytes.substr(0, 20000);
  }
  EXPECT_EQ(cli("batch " + studies.string() + " --out " + (dir / "t.csv").string(), &out), 9) << out;
  const auto table = csvRows(dir / "t.csv");
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[1].back(), "Unhandled DICOM file !");  // the reader's reason
}

// The 3D model's pairs and sector means are columns of the table.
TEST_F(CommandLine, BatchTableHoldsTheModelsPairsAndSectors) {
  const auto studies = dir / "studies";
  phantom::writeAcquisitions(phantom::buildPhantom(phantom::defaultParams()), studies, "a",
                             {phantom::OutputFormat::DicomExplicit});
  ASSERT_EQ(cli("batch " + studies.string() + " --out " + (dir / "t.csv").string() + " --3d --axial 24 --angular 24"),
            0);
  const auto table = csvRows(dir / "t.csv");
  ASSERT_EQ(table.size(), 2u);
  std::ifstream in(dir / "a_el.dcm.json");
  const nlohmann::json j = nlohmann::json::parse(in);
  const std::pair<std::string, nlohmann::json> expected[] = {{"mesh_fej_mean.left", j["mesh_fej_mean"][0]},
                                                             {"mesh_fej_mean.right", j["mesh_fej_mean"][1]},
                                                             {"mesh_smoy_fej.left.01", j["mesh_smoy_fej"][0][0]},
                                                             {"mesh_smoy_tej.right.17", j["mesh_smoy_tej"][1][16]}};
  for (const auto& [column, value] : expected) {
    const auto at = std::find(table[0].begin(), table[0].end(), column);
    ASSERT_NE(at, table[0].end()) << column;
    EXPECT_EQ(table[1][static_cast<size_t>(at - table[0].begin())], value.dump()) << column;
  }
}

// Every refusal of the option parser is the documented status 2; help is 0.
TEST_F(CommandLine, ParserRefusalsExitWithTheRefusedStatus) {
  const std::string file = phantomFile(phantom::defaultParams());
  std::filesystem::create_directories(dir / "studies");
  const std::pair<std::string, int> lines[] = {
      {"--help", 0},
      {"analyse --help", 0},
      {"", 2},
      {"nonsense", 2},
      {"analyse " + file + " --bogus", 2},
      {"analyse " + (dir / "missing.dcm").string(), 2},
      {"analyse " + file + " --method 9", 2},
      {"analyse " + file + " --sectors 18", 2},
      {"info " + (dir / "missing.dcm").string(), 2},
      {"segment " + file + " --placement sideways", 2},
      {"exam " + (dir / "missing.qvx").string(), 2},
      {"script " + (dir / "missing.script").string(), 2},
      {"reformat " + (dir / "missing").string() + " out.dcm", 2},
      {"batch " + (dir / "missing").string() + " --out t.csv", 2},
      {"batch " + dir.string(), 2},
      {"phantom", 2},
      {"simulate --out " + dir.string() + " --filter hann", 2},
      {"calibrate --out " + (dir / "c.json").string() + " --known " + file + "=120", 2},
      {"calibrate --out " + (dir / "c.json").string() + " --known nothing", 2},
      {"validate --out " + dir.string() + " --hearts 1", 2},  // its studies/ folder is the user's
      {"analyse " + file + " --calibration " + file, 2},
      {"simulate --out " + dir.string() + " --subsets 7", 2},
      {"simulate --out " + dir.string() + " --radius 100", 2},
      {"simulate --out " + dir.string() + " --orbit 270", 2},
  };
  for (const auto& [args, status] : lines) EXPECT_EQ(cli(args), status) << args;
}

TEST_F(CommandLine, SimulatedCameraStudyIsAnalysedAgainstItsTruth) {
  std::string out;
  ASSERT_EQ(cli("simulate --out " + dir.string() + " --name cam --angles 32 --iterations 2", &out), 0) << out;
  const auto truthPath = dir / "cam.dcm.truth.json";
  std::ifstream in(truthPath);
  const nlohmann::json truth = nlohmann::json::parse(in);
  EXPECT_EQ(truth["acquisition"]["angles"], 32);
  EXPECT_EQ(truth["reconstruction"]["filter"], "butterworth:5:0.4");
  ASSERT_EQ(cli("analyse " + (dir / "cam.dcm").string() + " --json " + (dir / "r.json").string(), &out), 0) << out;
  std::ifstream rin(dir / "r.json");
  const nlohmann::json r = nlohmann::json::parse(rin);
  // A camera's blur and scatter bias the volumes; the ejection fraction stays near the truth.
  const double ef = r["G_FES"], trueEf = truth["left_ventricle"]["ejection_fraction_percent"];
  EXPECT_NEAR(ef, trueEf, 10.0) << out;
}

TEST_F(CommandLine, CalibrationFittedOnAKnownStudyGivesItsVolumesBack) {
  const std::string file = phantomFile(phantom::defaultParams());
  const std::string first = (dir / "a.json").string(), calibration = (dir / "c.json").string();
  std::string out;
  ASSERT_EQ(cli("analyse " + file + " --json " + first, &out), 0) << out;
  ASSERT_EQ(cli("calibrate --out " + calibration + " --known " + first + "=120,140 --source bench", &out), 0) << out;
  const std::string second = (dir / "b.json").string();
  ASSERT_EQ(cli("analyse " + file + " --lang fr --calibration " + calibration + " --json " + second, &out), 0) << out;
  EXPECT_NE(out.find("Volumes étalonnés (bench)\nVentricule gauche : télédiastolique 120 ml"), std::string::npos)
      << out;
  std::ifstream in(dir / "b.json");
  const nlohmann::json j = nlohmann::json::parse(in);
  EXPECT_NEAR(j["calibrated"]["G_volmax"].get<double>(), 120.0, 1e-3);
  EXPECT_NEAR(j["calibrated"]["D_volmax"].get<double>(), 140.0, 1e-3);
  // Only the volumes move: the specified results stay as they were.
  std::ifstream a(first);
  const nlohmann::json plain = nlohmann::json::parse(a);
  EXPECT_EQ(j["G_volmax"], plain["G_volmax"]);
  EXPECT_EQ(j["G_FES"], plain["G_FES"]);
  // Installed in the application folder, it is shown by every analysis.
  ASSERT_EQ(cli("calibrate --known " + first + "=96", &out), 0) << out;
  ASSERT_EQ(cli("analyse " + file, &out), 0) << out;
  EXPECT_NE(out.find("Calibrated volumes (1 known volumes)\nLeft ventricle: end-diastolic 96 ml"), std::string::npos)
      << out;
}

// Seed 5: both studies of the first heart are analysed and the attenuation-corrected one without a
// warning, so its protocol gets a calibration (a warned study gives none).
TEST_F(CommandLine, ValidateReportsTheAgreementOfItsSuiteWithPictures) {
  std::string out;
  ASSERT_EQ(cli("validate --out " + (dir / "v").string() + " --hearts 1 --seed 5", &out), 0) << out;
  EXPECT_NE(out.find("2 of 2 simulated studies analysed"), std::string::npos) << out;
  EXPECT_NE(out.find("| LVEF (%) | "), std::string::npos) << out;
  std::ifstream csv(dir / "v" / "validation.csv");
  const std::string table((std::istreambuf_iterator<char>(csv)), {});
  EXPECT_NE(table.find("heart00-noac-bw0.4-25s,"), std::string::npos) << table;
  EXPECT_NE(table.find("heart00-ac-bw0.4-25s,"), std::string::npos) << table;
  EXPECT_TRUE(std::filesystem::exists(dir / "v" / "calibration" / "ac-bw0.4-25s.json"));
  for (const char* key : {"lvef", "rvef", "lvedv", "rvedv"}) {
    const auto size = pngSize(dir / "v" / (std::string("bland-altman-") + key + ".png"));
    EXPECT_EQ(size, std::make_pair(640, 420)) << key;
  }
}

// Width and height of a baseline JPEG from its frame header.
std::pair<int, int> jpegSize(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  const std::string b((std::istreambuf_iterator<char>(in)), {});
  const size_t sof = b.find("\xFF\xC0");
  if (sof == std::string::npos || sof + 9 > b.size()) return {0, 0};
  auto u16 = [&](size_t at) { return (static_cast<unsigned char>(b[at]) << 8) | static_cast<unsigned char>(b[at + 1]); };
  return {u16(sof + 7), u16(sof + 5)};
}

TEST_F(CommandLine, AnalyseWritesTheReportPictures) {
  const std::string file = phantomFile(phantom::defaultParams());
  EXPECT_NE(cli("analyse " + file + " --report " + (dir / "r.png").string()), 0);
  std::string out;
  ASSERT_EQ(cli("analyse " + file + " --3d --axial 24 --angular 24 --report " + (dir / "r.bmp").string(), &out), 0)
      << out;
  for (const char* name : {"r.bmp", "r-local.bmp"}) {
    std::ifstream bmp(dir / name, std::ios::binary);
    const std::string b((std::istreambuf_iterator<char>(bmp)), {});
    ASSERT_EQ(b.size(), 54u + 1024u * 1024u * 3u) << name;
    EXPECT_EQ(b.substr(0, 2), "BM");
    if (std::string(name) != "r-local.bmp") continue;
    // The curve boxes of the first block (rows 318..395 from the top, right half) show the curves
    // picked at the middle of each surface: light grey lines on black.
    int curve = 0;
    for (int row = 318; row < 396; ++row)
      for (int col = 512; col < 1024; ++col) {
        const size_t at = 54 + (static_cast<size_t>(1023 - row) * 1024 + col) * 3;
        curve += b.compare(at, 3, "\xF0\xF0\xF0") == 0;
      }
    EXPECT_GT(curve, 200);
  }
  ASSERT_EQ(cli("analyse " + file + " --report-canvas 1536 --report " + (dir / "w.jpg").string()), 0);
  EXPECT_EQ(jpegSize(dir / "w.jpg"), std::pair(1536, 1092));
  EXPECT_FALSE(std::filesystem::exists(dir / "w-local.jpg"));
}

}  // namespace
}  // namespace quorvel::testing
