// quorvel-cli archive find|get: what the archive holds for a patient or a date, and one study's
// nuclear medicine images brought over, ready to analyse.
#include <dcmtk/config/osconfig.h>
#include <dcmtk/oflog/oflog.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "commands.h"
#include "node/archive_query.h"
#include "pipeline.h"
#include "tls_options.h"

namespace quorvel::cli {

namespace {

struct ArchiveArgs {
  std::string archive, aet = "QUORVEL";
  node::TlsSettings tls;
  node::StudyQuery query;
  std::string study, to;
};

std::optional<node::Destination> archiveOf(const ArchiveArgs& a) {
  const auto d = node::parseDestination(a.archive);
  if (!d) std::cerr << "quorvel-cli: --archive is not AET@HOST:PORT: " << a.archive << '\n';
  if (const std::string why = checkTlsSettings(a.tls, false); d && !why.empty()) {
    std::cerr << "quorvel-cli: " << why << '\n';
    return std::nullopt;
  }
  return d;
}

int runFind(const ArchiveArgs& a) {
  OFLog::configure(OFLogger::WARN_LOG_LEVEL);  // the answer is ours to print
  const auto archive = archiveOf(a);
  if (!archive) return kExitRefused;
  const node::FindOutcome found = node::findStudies(node::Caller(a.aet, a.tls), *archive, a.query);
  if (!found.why.empty()) {
    std::cerr << "quorvel-cli: " << archive->text() << ": " << found.why << '\n';
    return kExitRefused;
  }
  for (const auto& s : found.studies)
    std::printf("%s  %-8s  %-16s  %-24s  %-8s  %s\n", s.studyUid.c_str(), s.studyDate.c_str(), s.patientId.c_str(),
                s.patientName.c_str(), s.modalities.c_str(), s.description.c_str());
  std::fprintf(stderr, "%zu studies\n", found.studies.size());
  return 0;
}

int runGet(const ArchiveArgs& a) {
  OFLog::configure(OFLogger::WARN_LOG_LEVEL);
  const auto archive = archiveOf(a);
  if (!archive) return kExitRefused;
  const node::RetrieveOutcome got = node::retrieveStudy(node::Caller(a.aet, a.tls), *archive, a.study, a.to);
  for (const auto& f : got.files) std::printf("%s\n", f.string().c_str());
  if (!got.why.empty()) {
    std::cerr << "quorvel-cli: " << archive->text() << ": " << got.why << '\n';
    return kExitRefused;
  }
  return 0;
}

}  // namespace

void registerArchiveCommand(CLI::App& app, int& status) {
  auto args = std::make_shared<ArchiveArgs>();
  CLI::App* cmd = app.add_subcommand("archive", "Query the archive and bring a study over (DICOM C-FIND and C-GET)");
  cmd->add_option("--archive", args->archive, "The archive as AET@HOST:PORT")->required();
  cmd->add_option("--aet", args->aet, "Our AE title, as the archive knows it")->capture_default_str();
  addTlsOptions(cmd, args->tls, "our");
  cmd->require_subcommand(1);
  CLI::App* find = cmd->add_subcommand("find", "List the archive's studies for a patient or dates");
  find->add_option("--patient-name", args->query.patientName, "Patient name, wildcards allowed (DOE*)");
  find->add_option("--patient-id", args->query.patientId, "Patient ID");
  find->add_option("--dates", args->query.dates, "Study date YYYYMMDD or range YYYYMMDD-YYYYMMDD");
  find->callback([args, &status] { status = runFind(*args); });
  CLI::App* get = cmd->add_subcommand("get", "Bring one study's nuclear medicine images into a folder");
  get->add_option("--study", args->study, "Study instance UID (from find)")->required();
  get->add_option("--to", args->to, "Folder; the images go to FOLDER/<study UID>/")->required();
  get->callback([args, &status] { status = runGet(*args); });
}

}  // namespace quorvel::cli
