// The results as a structured report and where they are sent: what an archive and its readers get.
#include "node/results_sr.h"

#include <gtest/gtest.h>

#include "node/forwarding.h"
#include "run_command.h"
#include "scratch_folder.h"

namespace quorvel::node {
namespace {

TEST(NodeDestinations, OnlyAetAtHostColonPortIsADestination) {
  const auto d = parseDestination("PACS@10.0.0.5:104");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->aet, "PACS");
  EXPECT_EQ(d->host, "10.0.0.5");
  EXPECT_EQ(d->port, 104);
  EXPECT_EQ(d->text(), "PACS@10.0.0.5:104");
  for (const char* bad : {"PACS", "PACS@host", "@host:104", "PACS@:104", "PACS@host:0", "PACS@host:65536",
                          "PACS@host:10x", "AETITLELONGERTHAN16@host:104", "PACS:104@host"})
    EXPECT_FALSE(parseDestination(bad)) << bad;
}

TEST(NodeStructuredReport, HoldsEveryResultCodedWithItsUnitAndPointsAtTheAnalysedImage) {
  const auto dir = testing::scratchFolder();
  SrContent c;
  c.image = {"DOE^JANE", "P1", "19500101", "F",      "1.2.3",   "20261209",
             "101500",   "7",  "ACC1",     "DR^WHO", "1.2.3.4", "1.2.840.10008.5.1.4.1.1.20",
             "1.2.3.4.5"};
  c.results = {{"G_FES", 61.237}, {"G_volmax", 120.5}, {"D_FES", 48.0}, {"D_TFS", 301}, {"CARD_FREQ", 70}};
  c.method = "test method";
  c.warnings = {"first warning", "second warning", "fraction d'éjection"};  // accents need the character set
  const auto file = dir / "sr.dcm";
  ASSERT_EQ(writeResultsSr(c, file), "");
  const std::string dump = testing::run(std::string(QUORVEL_DCMDUMP) + " " + file.string()).out;
  for (const char* expected : {"ComprehensiveSRStorage", "[10230-1]", "[61.24]", "[%]", "[QRV-LV-EDV]", "[120.50]",
                               "[ml]", "[QRV-RV-EF]", "[QRV-RV-TES]", "[301.00]", "[ms]", "[QRV-HR]", "[/min]",
                               "[1.2.3.4.5]", "[DOE^JANE]", "[second warning]", "[test method]", "[1.2.3]"})
    EXPECT_NE(dump.find(expected), std::string::npos) << expected;
  // Results the analysis did not give are left out, not written as zero.
  EXPECT_EQ(dump.find("QRV-LV-ESV"), std::string::npos);
  const std::string check = testing::run(std::string(QUORVEL_DCIODVFY) + " " + file.string()).out;
  EXPECT_EQ(check.find("Error"), std::string::npos) << check;

  c.image.studyUid.clear();
  EXPECT_NE(writeResultsSr(c, dir / "none.dcm"), "");
}

}  // namespace
}  // namespace quorvel::node
