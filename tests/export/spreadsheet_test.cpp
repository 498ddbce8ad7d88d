// The spreadsheet tables byte for byte: cells, separators, label order, sector column orders.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/byte_reader.h"
#include "base/scripted_platform.h"
#include "export/spreadsheet.h"

using namespace quorvel;

namespace {

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> out(1);
  for (char c : s) c == sep ? void(out.emplace_back()) : out.back().push_back(c);
  return out;
}

class Spreadsheet : public ::testing::Test {
 protected:
  Spreadsheet() {
    study.CYCLE = 100;
    study.Ninst = 8;
    study.CARD_FREQ = 75;
    vc.G = {120, 50, 70, 5.25f, 63.4f, 310, 2.31f, 0, 1.96f, 0};
    vc.D = {140, 70, 70, 5.25f, 50, 330, 2.0f, 0, 1.5f, 0};
    maps.mesh_fej_mean = {60, 48};
    maps.mesh_fej_std = {9, 12};
    maps.mesh_tej_mean = {40, 42};  // percent of the 800 ms cycle
    maps.mesh_tej_std = {5, 6};
    maps.mesh_per_mean = {4, 3};
    maps.mesh_per_std = {1, 0.5f};
    maps.mesh_pfr_mean = {3, 2};
    maps.mesh_pfr_std = {0.6f, 0.4f};
    maps.PER_corr = 2;
    maps.PFR_corr = 2;
    for (int s = 1; s <= 17; ++s) {
      eye.mesh_smoy_fej[0][s] = 100.0f + s;
      eye.mesh_smoy_fej[1][s] = 200.0f + s;
      eye.mesh_smoy_tej[0][s] = static_cast<float>(s);  // percent: 8 ms each
      eye.mesh_smoy_tej[1][s] = 2.0f * s;
    }
    segments.valid = true;
    for (int v = 0; v < 2; ++v) {
      VentricleSegments& vs = segments.ventricles[v];
      vs.count = v == 0 ? 17 : 7;
      for (int k = 1; k <= vs.count; ++k) {
        vs.segments[k].ef = 300.0f * (v + 1) + k;
        vs.segments[k].timeToMinMs = 500.0f * (v + 1) + k;
      }
      vs.dyssynchronyPct = 3.5f + v;
      vs.phase.meanDeg = 150, vs.phase.sdDeg = 10, vs.phase.bandwidthDeg = 40;
      vs.phase.entropyPct = 55, vs.phase.synchrony = 0.9f;
    }
    segments.phaseDelayMs = -12.5f;
  }
  TableInputs in(bool withSegments = true) const {
    return {study, vc, maps, eye, withSegments ? &segments : nullptr};
  }
  SegmentalAnalysis segments;
  StudyRecord study;
  VolumeCurves vc;
  RegionalMaps maps;
  BullsEye eye;
};

std::string cell(const std::string& t) { return t + std::string(20 - t.size(), ' '); }

// The patient form opens with the study's names (a DICOM person name split at its carets, another
// format's one text whole), sex and dates.
TEST_F(Spreadsheet, PatientFormOpensWithWhatTheStudySays) {
  StudyRecord dicom;
  dicom.dicomPatientName = "DOE^JANE^Q", dicom.PAT_NAME = "DOE JANE Q", dicom.PAT_SEX = "F";
  dicom.PAT_DATE = "02/03/1961", dicom.ACQ_DATE = "15/01/2024";
  const PatientFields d = patientFieldsOf(dicom);
  EXPECT_EQ((std::array{d[0], d[1], d[2], d[5], d[8], d[3]}),
            (std::array<std::string, 6>{"DOE", "JANE", "F", "02/03/1961", "15/01/2024", ""}));
  StudyRecord idb;
  idb.PAT_NAME = "MARTIN PAUL  ";
  const PatientFields i = patientFieldsOf(idb);
  EXPECT_EQ(i[0], "MARTIN PAUL");
  EXPECT_EQ(i[1], "");
  // The name a save dialog proposes: names and date, nothing a file name should not hold.
  idb.PAT_NAME = "O'NEIL/Hélène  ";
  idb.ACQ_DATE = "15/01/2024";
  for (const auto& [record, stem] : {std::pair{dicom, "DOE_JANE_15-01-2024"}, {idb, "O-NEIL-Hélène_15-01-2024"},
                                     {StudyRecord{}, ""}})
    EXPECT_EQ(fileStemOf(record), stem);
}

TEST_F(Spreadsheet, ResultsTableByteForByte) {
  auto row = [](const std::string& l, const std::string& a, const std::string& b) {
    return cell(l) + "\t\t" + cell(a) + "\t\t" + cell(b) + "\r";
  };
  const std::string expected =
      "\t\t             Vent. G\t\t             Vent. D\r\r" + cell("GLOBAL") + "\r\r" + row("FE (pc)", "63", "50") +
      row("VtD (cc)", "120", "140") + row("VtS (cc)", "50", "70") + row("V ej (cc)", "70", "70") +
      row("DEM (vtd/s)", "-2.3", "-2.0") + row("DRM (vtd/s)", "2.0", "1.5") + row("D\xE9" "bit (L/min)", "5.2", "5.2") +
      row("TFS (ms)", "310", "330") + "\r" + cell("LOCAL") + "\r\r" + row("FE (pc)", "60  +/-   9", "48  +/-  12") +
      row("TFS (ms)", "320  +/-  40", "336  +/-  48") + row("DEM (vtd/s)", "-2.0  +/-  0.5", "-1.5  +/-  0.2") +
      row("DRM (vtd/s)", "1.5  +/-  0.3", "1.0  +/-  0.2");
  const std::string table = resultsTable(in());
  EXPECT_EQ(table, expected);
  EXPECT_EQ(table.find('\n'), std::string::npos);
  EXPECT_EQ(excelCell("a text much longer than twenty"), "a text much longer t");
  // With the uncertainty: the 95 % intervals after the rest, the ejection rate negative.
  ResultUncertainties u{};
  for (int i = 0; i < kUncertainResults; ++i) u[i] = {0, 0, 0, 0, 10.0 * i + 0.4, 10.0 * i + 5.6};
  TableInputs withIntervals = in();
  withIntervals.uncertainty = &u;
  EXPECT_EQ(resultsTable(withIntervals),
            expected + "\r" + cell("IC 95 %") + "\r\r" + row("FE (pc)", " 0 -  6", "60 - 66") +
                row("VtD (cc)", "10 - 16", "70 - 76") + row("VtS (cc)", "20 - 26", "80 - 86") +
                row("TFS (ms)", "30 - 36", "90 - 96") + row("DEM (vtd/s)", "-45.6 - -40.4", "-105.6 - -100.4") +
                row("DRM (vtd/s)", "50.4 - 55.6", "110.4 - 115.6"));
}

TEST_F(Spreadsheet, SectorTableColumnsLabelsAndOrders) {
  PatientFields fields;
  fields[0] = "DUPONT";
  fields[4] = "A\tB\rC";  // separators typed in a field must not split the row
  const std::string table = sectorTable(in(), fields, INIT_EXCEL_ETIKETS());
  EXPECT_EQ(table.find('\n'), std::string::npos);
  const auto lines = split(table, '\r');
  ASSERT_EQ(lines.size(), 3u);
  // Group titles head columns 10, 14, 23, 40, 57, 66 and 83, then each ventricle's segments.
  const auto titles = split(lines[0], '\t');
  ASSERT_EQ(titles.size(), 140u);
  const std::pair<int, const char*> heads[] = {{10, "2D"}, {14, "3D"}, {23, "FE"},          {40, "TFS"}, {57, "3D"},
                                               {66, "FE"}, {83, "TFS"}, {100, "SEGMENTS G"}, {140, "SEGMENTS D"}};
  for (const auto& [col, t] : heads) EXPECT_EQ(titles[col - 1], cell(t)) << col;
  constexpr size_t kColumns = kSectorTableColumns + kSegmentTableColumns;
  const auto labels = split(lines[1], '\t');
  ASSERT_EQ(labels.size(), kColumns + 1);
  EXPECT_EQ(labels[kColumns], "");
  const std::pair<int, std::string> named[] = {
      {1, "NOM"},        {5, "N\xB0 SEJOUR"}, {13, "kCPS"},       {14, "FEV G"},       {22, "TES G SIG"},
      {23, "1"},         {56, "17"},          {57, "FEV D"},      {65, "TES D SIG"},   {99, "17"},
      {100, "FE SG1"},   {116, "FE SG17"},    {117, "TMIN SG1"},  {134, "SDI G"},      {139, "SYNCHRONIE G"},
      {140, "FE SD1"},   {147, "TMIN SD1"},   {154, "SDI D"},     {160, "DELAI G-D (ms)"}};
  for (const auto& [col, l] : named) EXPECT_EQ(labels[col - 1], cell(l)) << col;
  const auto values = split(lines[2], '\t');
  ASSERT_EQ(values.size(), kColumns + 1);
  EXPECT_EQ(values[kColumns], "");  // ends with the last value's TAB
  const std::pair<int, std::string> cells[] = {
      {1, "DUPONT"},   {2, ""},         {5, "A B C"},    {14, "63.40"},   {15, "75.00"},   {16, "120.00"},
      {18, "5.25"},    {21, "320.00"},  {22, "40.00"},   {23, "115.00"},  {27, "113.00"},  {39, "101.00"},
      {40, "120.00"},  {56, "8.00"},    {57, "50.00"},   {66, "215.00"},  {70, "217.00"},  {81, "205.00"},
      {82, "201.00"},  {83, "240.00"},  {99, "16.00"},   {100, "301.00"}, {116, "317.00"}, {117, "501.00"},
      {133, "517.00"}, {134, "3.50"},   {135, "150.00"}, {139, "0.90"},   {140, "601.00"}, {147, "1001.00"},
      {154, "4.50"},   {160, "-12.50"}};
  for (const auto& [col, v] : cells) EXPECT_EQ(values[col - 1], v) << col;
  // Without the segments' analysis their columns stay, empty, so the row keeps its width.
  const auto bare = split(split(sectorTable(in(false), fields, INIT_EXCEL_ETIKETS()), '\r')[2], '\t');
  ASSERT_EQ(bare.size(), kColumns + 1);
  EXPECT_EQ(bare[98], "16.00");
  for (size_t c = kSectorTableColumns; c < kColumns; ++c) EXPECT_EQ(bare[c], "") << c + 1;
}

TEST_F(Spreadsheet, FileNamesAndWriting) {
  EXPECT_EQ(tablePath("result"), "result.xls");
  EXPECT_EQ(tablePath("a.xls.txt"), "a.xls.txt");
  EXPECT_EQ(VERF_EXTENSION(std::string(300, 'a') + ".xls", ".xls"), 0);
  const auto dir = std::filesystem::path(QUORVEL_TEST_TMP) / "spreadsheet";
  std::filesystem::create_directories(dir);
  ScriptedPlatform platform;
  platform.saveAnswers.push_back(FileChoice{(dir / "result").string(), 1});
  platform.saveAnswers.push_back(FileChoice{(dir / "missing" / "t.xls").string(), 1});
  platform.saveAnswers.push_back(std::nullopt);
  ASSERT_TRUE(EXPORT_EXCEL_FILE(platform, kEnglish, in()).ok());
  const std::string table = resultsTable(in());
  EXPECT_EQ(readWholeFile(dir / "result.xls"), std::optional(std::vector<uint8_t>(table.begin(), table.end())));
  const Status failed = UPDATE_DATABASE(platform, kFrench, in(), {});
  EXPECT_EQ(failed.code(), RefusalCode::CannotWrite);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
  EXPECT_EQ(EXPORT_EXCEL_FILE(platform, kFrench, in()).code(), RefusalCode::Cancelled);
  EXPECT_EQ(platform.texts("save").at(1), "Exporter tableau Excel (17 sect.) [Excel *.xls] filter 1");
}

}  // namespace
