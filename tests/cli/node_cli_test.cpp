// The DICOM node as a department runs it: studies pushed with DCMTK's storescu on loopback,
// analysed unattended, once, whatever arrives beside them and whenever the node stops.
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/scu.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <thread>

#include "loopback_archive.h"
#include "phantom/phantom.h"
#include "phantom/writers.h"
#include "run_command.h"
#include "scratch_folder.h"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;

size_t occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A caller that dies halfway through an instance: the node sees the data stream end mid-data set.
class DyingScu : public DcmSCU {
  void notifySENDProgress(const unsigned long bytesSent) override {
    if (bytesSent > kDieAfterBytes) ::_exit(0);
  }
  static constexpr unsigned long kDieAfterBytes = 64 * 1024;
};

// The caller's exit status: 0 when it died as planned, halfway.
int sendHalfThenDie(int port, const fs::path& file) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    DyingScu scu;
    scu.setAETitle("SENDER");
    scu.setPeerAETitle("QUORVEL");
    scu.setPeerHostName("127.0.0.1");
    scu.setPeerPort(static_cast<Uint16>(port));
    OFList<OFString> syntaxes;
    syntaxes.push_back(UID_LittleEndianExplicitTransferSyntax);
    scu.addPresentationContext(UID_NuclearMedicineImageStorage, syntaxes);
    if (scu.initNetwork().bad() || scu.negotiateAssociation().bad()) ::_exit(2);
    Uint16 status = 0;
    scu.sendSTORERequest(0, file.c_str(), nullptr, status);
    ::_exit(3);  // the whole instance went
  }
  int status = -1;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class DicomNode : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = scratchFolder();
    port = freePort();
    ASSERT_GT(port, 0);
    phantom::PhantomParams flat = phantom::defaultParams();
    flat.lv.ef_percent = flat.rv.ef_percent = 0.01;  // nothing beats: refused, so to review
    flat.anatomy.base_descent_mm = 0;
    flat.patient.id = "P/2";  // a path in the data set must not become one on disk
    beating = write(phantom::defaultParams(), "beating");
    still = write(flat, "still");
  }
  void TearDown() override { stop(SIGKILL); }

  fs::path write(const phantom::PhantomParams& p, const std::string& name) {
    return phantom::writeAcquisitions(phantom::buildPhantom(p), dir / "studies", name,
                                      {phantom::OutputFormat::DicomExplicit})
        .at(0);
  }

  void start(int quietSeconds, const std::string& more = "") {
    node = spawn("QUORVEL_HOME=" + dir.string() + " exec " + QUORVEL_CLI + " node --port " + std::to_string(port) +
                 " --spool " + (dir / "spool").string() + " --out " + (dir / "out").string() +
                 " --allow SENDER --quiet-seconds " + std::to_string(quietSeconds) + " " + more + " >> " +
                 (dir / "node.txt").string() + " 2>&1");
    ASSERT_TRUE(waitUntil(
        [&] {
          return run(std::string(QUORVEL_ECHOSCU) + " -aet SENDER -aec QUORVEL " + callerTls + " 127.0.0.1 " +
                     std::to_string(port))
                     .status == 0;
        },
        20))
        << textOf(dir / "node.txt");
  }
  void stop(int signal) {
    if (node <= 0) return;
    ::kill(node, signal);
    ::waitpid(node, nullptr, 0);
    node = -1;
  }
  bool alive() const { return node > 0 && ::waitpid(node, nullptr, WNOHANG) == 0; }

  int send(const std::string& files, const std::string& caller = "SENDER") {
    return run(std::string(QUORVEL_STORESCU) + " -aet " + caller + " -aec QUORVEL " + callerTls + " 127.0.0.1 " +
               std::to_string(port) + " " + files)
        .status;
  }
  std::string log() const { return textOf(dir / "out" / "node-log.txt"); }
  // The results the node wrote for a study, found by their name.
  std::vector<fs::path> results() const {
    std::vector<fs::path> found;
    if (fs::exists(dir / "out"))
      for (const auto& f : fs::recursive_directory_iterator(dir / "out"))
        if (f.path().extension() == ".json") found.push_back(f.path());
    return found;
  }

  fs::path dir, beating, still;
  std::string callerTls;  // the DCMTK tools' TLS options for the callers
  int port = 0;
  pid_t node = -1;
};

TEST_F(DicomNode, AnalysesEachStudyOnceAndRefusesWhatItMustNotTakeWithoutStopping) {
  start(1);
  // A caller that dies mid-instance leaves nothing behind.
  ASSERT_EQ(sendHalfThenDie(port, beating), 0);
  ASSERT_TRUE(waitUntil([&] { return log().find("lost an instance from SENDER") != std::string::npos; }, 10)) << log();
  for (const auto& f : fs::recursive_directory_iterator(dir / "spool"))
    EXPECT_NE(f.path().extension(), ".dcm") << f.path();
  // Two callers at once.
  EXPECT_EQ(run("(" + std::string(QUORVEL_STORESCU) + " -aet SENDER -aec QUORVEL 127.0.0.1 " + std::to_string(port) +
                " " + beating.string() + " & " + QUORVEL_STORESCU + " -aet SENDER -aec QUORVEL 127.0.0.1 " +
                std::to_string(port) + " " + still.string() + "; wait $!)")
                .status,
            0);
  // A stranger, and an image of another kind.
  EXPECT_NE(send(beating.string(), "STRANGER"), 0);
  const fs::path other = dir / "studies" / "other.dcm";
  fs::copy_file(beating, other);
  ASSERT_EQ(run(std::string(QUORVEL_DCMODIFY) +
                " -nb -m \"(0008,0016)=1.2.840.10008.5.1.4.1.1.7\" -m "
                "\"(0008,0018)=1.2.3.4.5\" " +
                other.string())
                .status,
            0);
  EXPECT_NE(send(other.string()), 0);
  ASSERT_TRUE(waitUntil([&] { return occurrences(log(), "  analysed ") == 2; }, 90)) << log();

  // The beating heart's numbers are those of analyse on the same file.
  const fs::path direct = dir / "direct.json";
  ASSERT_EQ(run("QUORVEL_HOME=" + dir.string() + " " + QUORVEL_CLI + " analyse " + beating.string() + " --json " +
                direct.string())
                .status,
            0);
  const auto lvef = [](const fs::path& p) { return nlohmann::json::parse(textOf(p))["G_FES"].get<double>(); };
  const std::vector<fs::path> jsons = results();
  ASSERT_EQ(jsons.size(), 1u) << log();
  EXPECT_EQ(lvef(jsons[0]), lvef(direct));
  EXPECT_TRUE(fs::exists(fs::path(jsons[0]).replace_extension(".qvx")));

  // The still heart is refused by the analysis: on the list to review, in a folder of its own.
  const std::string review = textOf(dir / "out" / "to-review.txt");
  EXPECT_EQ(occurrences(review, "\n"), 1u) << review;
  EXPECT_EQ(review.rfind("P_2/", 0), 0u) << review;
  EXPECT_TRUE(fs::is_directory(dir / "out" / "P_2"));

  // Sent again: nothing new to analyse; the node took all this without stopping.
  EXPECT_EQ(send(beating.string()), 0);
  std::this_thread::sleep_for(std::chrono::seconds(3));
  EXPECT_EQ(occurrences(log(), "  analysed "), 2u) << log();
  EXPECT_NE(log().find("refused an association from STRANGER"), std::string::npos) << log();
  EXPECT_TRUE(alive());
}

TEST_F(DicomNode, AStudyReceivedBeforeTheNodeWasKilledIsAnalysedAfterItsRestart) {
  start(60);
  ASSERT_EQ(send(beating.string()), 0);
  stop(SIGKILL);
  ASSERT_TRUE(results().empty());
  start(1);
  ASSERT_TRUE(waitUntil([&] { return results().size() == 1; }, 60)) << log();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  EXPECT_EQ(occurrences(log(), "  analysed "), 1u) << log();
}

TEST_F(DicomNode, ResultsReachTheArchiveAsPicturesAndAStructuredReportOnceItIsUp) {
  LoopbackArchive archive(dir / "archive", port);
  // The destination from the node's configuration file.
  std::ofstream(dir / "node.ini") << "forward = [\"" << archive.address() << "\"]\nretry-seconds = 1\n";
  start(1, "--config " + (dir / "node.ini").string());
  ASSERT_EQ(send(beating.string()), 0);
  // The archive is down: the node says so and keeps the delivery.
  ASSERT_TRUE(waitUntil([&] { return log().find("could not send to ORTHANC") != std::string::npos; }, 60)) << log();
  ASSERT_TRUE(archive.start()) << archive.log();
  const std::string rest = archive.rest();
  ASSERT_TRUE(waitUntil([&] { return log().find("sent 2 files to ORTHANC") != std::string::npos; }, 60)) << log();

  // The archive holds the report picture and the structured report, whose LVEF is the JSON's.
  const auto ids = nlohmann::json::parse(run(rest + "/instances").out);
  ASSERT_EQ(ids.size(), 2u);
  const std::vector<fs::path> jsons = results();
  ASSERT_EQ(jsons.size(), 1u);
  char lvef[32];
  std::snprintf(lvef, sizeof lvef, "[%.2f]", nlohmann::json::parse(textOf(jsons[0]))["G_FES"].get<double>());
  int reports = 0;
  for (const auto& id : ids) {
    const fs::path copy = dir / (id.get<std::string>() + ".dcm");
    ASSERT_EQ(run(rest + "/instances/" + id.get<std::string>() + "/file -o " + copy.string()).status, 0);
    const std::string dump = run(std::string(QUORVEL_DCMDUMP) + " " + copy.string()).out;
    if (dump.find("ComprehensiveSRStorage") == std::string::npos) continue;
    ++reports;
    EXPECT_NE(dump.find("[10230-1]"), std::string::npos) << dump;
    EXPECT_NE(dump.find(lvef), std::string::npos) << lvef << dump;
    const std::string check = run(std::string(QUORVEL_DCIODVFY) + " " + copy.string()).out;
    EXPECT_EQ(check.find("Error"), std::string::npos) << check;
  }
  EXPECT_EQ(reports, 1);

  // The acquisition in the archive too: found by its patient, brought back whole, same numbers.
  const std::string archiveAt = " --archive " + archive.address();
  ASSERT_EQ(archive.store(beating), 0);
  const Outcome found = run(std::string(QUORVEL_CLI) + " archive" + archiveAt + " find --patient-id QPH0001");
  ASSERT_EQ(found.status, 0) << found.out;
  const std::string study = jsons[0].parent_path().filename().string();
  EXPECT_NE(found.out.find(study), std::string::npos) << found.out;
  EXPECT_NE(found.out.find("1 studies"), std::string::npos) << found.out;
  const Outcome got = run(std::string(QUORVEL_CLI) + " archive" + archiveAt + " get --study " + study + " --to " +
                          (dir / "got").string());
  ASSERT_EQ(got.status, 0) << got.out;
  const fs::path image = dir / "got" / study / (jsons[0].stem().string() + ".dcm");
  ASSERT_TRUE(fs::exists(image)) << got.out;
  const fs::path again = dir / "again.json";
  ASSERT_EQ(run("QUORVEL_HOME=" + dir.string() + " " + QUORVEL_CLI + " analyse " + image.string() + " --json " +
                again.string())
                .status,
            0);
  EXPECT_EQ(nlohmann::json::parse(textOf(again))["G_FES"], nlohmann::json::parse(textOf(jsons[0]))["G_FES"]);
}

TEST_F(DicomNode, WithTlsOnlyCertifiedCallersAreHeardAndResultsLeaveEncrypted) {
  const fs::path pki = dir / "pki";
  for (const auto& [name, issuer] : std::vector<std::pair<std::string, std::string>>{{"authority", ""},
                                                                                     {"stranger", ""},
                                                                                     {"node", "authority"},
                                                                                     {"sender", "authority"},
                                                                                     {"orthanc", "authority"},
                                                                                     {"intruder", "stranger"}})
    ASSERT_EQ(makeCertificate(pki, name, issuer), "");
  const auto file = [&](const std::string& name) { return (pki / name).string(); };
  const auto toolTls = [&](const std::string& who) {
    return "+tls " + file(who + ".key") + " " + file(who + ".crt") + " +cf " + file("authority.crt");
  };
  // Settings that cannot work are refused before any network work.
  const std::string cli = QUORVEL_CLI;
  for (const auto& [command, why] : std::vector<std::pair<std::string, std::string>>{
           {cli + " node --spool " + (dir / "s").string() + " --out " + (dir / "o").string() + " --tls-key " +
                file("node.key") + " --tls-cert " + file("sender.crt"),
            "does not belong"},
           {cli + " archive --archive ORTHANC@127.0.0.1:1 --tls-key " + file("node.key") + " --tls-cert " +
                file("node.crt") + " find",
            "needs the certificates to trust"}}) {
    const Outcome refused = run(command);
    EXPECT_EQ(refused.status, 2) << command;
    EXPECT_NE(refused.out.find(why), std::string::npos) << refused.out;
  }

  // The archive speaks TLS only, and wants a certificate from its callers.
  LoopbackArchive archive(dir / "archive", port);
  archive.requireTls(pki, "orthanc", "authority");
  ASSERT_TRUE(archive.start()) << archive.log();
  const std::string nodeTls =
      " --tls-key " + file("node.key") + " --tls-cert " + file("node.crt") + " --tls-trust " + file("authority.crt");
  callerTls = toolTls("sender");
  start(1, nodeTls + " --forward " + archive.address() + " --forward-tls --retry-seconds 1");

  callerTls = "";
  EXPECT_NE(send(beating.string()), 0);
  callerTls = toolTls("intruder");
  EXPECT_NE(send(beating.string()), 0);
  callerTls = toolTls("sender");
  ASSERT_EQ(send(beating.string()), 0);
  ASSERT_TRUE(waitUntil([&] { return log().find("sent 2 files to ORTHANC") != std::string::npos; }, 90)) << log();
  EXPECT_EQ(occurrences(log(), "received instance"), 1u) << log();
  EXPECT_EQ(nlohmann::json::parse(run(archive.rest() + "/instances").out).size(), 2u);
  EXPECT_TRUE(alive());

  // Queries too: over TLS they are answered, in the clear they are not.
  const std::string find = cli + " archive --archive " + archive.address();
  const Outcome secure = run(find + nodeTls + " find --patient-id QPH0001");
  EXPECT_EQ(secure.status, 0) << secure.out;
  EXPECT_NE(secure.out.find("1 studies"), std::string::npos) << secure.out;
  EXPECT_NE(run(find + " find --patient-id QPH0001").status, 0);
}

}  // namespace
}  // namespace quorvel::testing
