// quorvel-cli node: a DICOM node. Receives nuclear medicine images over the network into a spool,
// and once a study has been quiet for a while analyses each gated tomographic instance of it in a
// process of its own (as analyse does, with the automatic placement): exam, JSON and report into
// a folder by patient and study; a study with warnings or a failure goes on the "to review" list.
#include <dcmtk/config/osconfig.h>
#include <dcmtk/oflog/oflog.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "base/app_folder.h"
#include "base/byte_reader.h"
#include "batch.h"
#include "commands.h"
#include "exam/options_file.h"
#include "node/forwarding.h"
#include "node/image_header.h"
#include "node/node_log.h"
#include "node/results_sr.h"
#include "node/spool.h"
#include "node/storage_scp.h"
#include "node/uid_names.h"
#include "pipeline.h"
#include "tls_options.h"

namespace quorvel::cli {

namespace {

namespace fs = std::filesystem;
using node::NodeLog;
using node::ReadyStudy;
using node::Spool;

inline constexpr char kToReviewList[] = "to-review.txt";
inline constexpr char kToReviewMark[] = "TO-REVIEW.txt";
inline constexpr char kNodeLogName[] = "node-log.txt";
constexpr auto kSpoolPoll = std::chrono::milliseconds(500);

struct NodeArgs {
  node::StorageConfig storage;
  std::string spool, out;
  int quietSeconds = 10;
  bool model3d = false;
  std::vector<std::string> forward;  // AET@HOST:PORT
  bool forwardTls = false;           // deliveries with the node's TLS key, certificate and trust
  int retrySeconds = 30;             // first delay before sending again
  uintmax_t minFreeMb = node::kDefaultMinFreeSpoolMb;
};

std::atomic<bool> stopRequested{false};
extern "C" void requestStop(int) { stopRequested = true; }

std::string percent(const nlohmann::json& j, const char* key) {
  if (!j.contains(key) || !j[key].is_number()) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %%", j[key].get<double>());
  return text;
}

void appendLine(const fs::path& file, const std::string& line) { std::ofstream(file, std::ios::app) << line << '\n'; }

// The method as the results panel names it, after what placed and segmented the ventricles.
std::string methodText(const nlohmann::json& j, const fs::path& panels) {
  std::string method = "Gated blood-pool tomography; both ventricles segmented in 4D (watershed of the blood pool)";
  if (j.contains("placement") && j["placement"].contains("confidence")) {
    char text[96];
    std::snprintf(text, sizeof text, "; automatic placement, confidence %.2f",
                  j["placement"]["confidence"].get<double>());
    method += text;
  }
  std::ifstream in(panels);
  for (std::string line; std::getline(in, line);)
    if (line.starts_with("Method")) {
      method += "; volume curves: " + line;
      break;
    }
  return method;
}

// The structured report beside the results, then it and the report pictures queued for every
// destination.
void sendResults(const NodeArgs& a, const nlohmann::json& j, const fs::path& image, const fs::path& panels,
                 const fs::path& folder, const std::string& stem, node::Outbox& outbox, NodeLog& log) {
  node::SrContent sr{node::readImageHeader(image), {}, methodText(j, panels), {}};
  for (const auto& [key, value] : j.items())
    if (value.is_number()) sr.results[key] = value.get<double>();
  if (j.contains("warnings"))
    for (const auto& w : j["warnings"]) sr.warnings.push_back(w.get<std::string>());
  const fs::path srFile = folder / (stem + "-sr.dcm");
  if (const std::string why = node::writeResultsSr(sr, srFile); !why.empty()) {
    log.line("no structured report for " + stem + ": " + why);
    return;
  }
  std::vector<fs::path> files;
  for (const char* suffix : {"-report.dcm", "-report-local.dcm"})
    if (std::error_code ec; fs::exists(folder / (stem + suffix), ec)) files.push_back(folder / (stem + suffix));
  files.push_back(srFile);
  for (const std::string& d : a.forward) outbox.add(*node::parseDestination(d), files);
}

// Analyses every gated tomographic instance of a ready study; what needs a person goes on the list.
void analyseStudy(const NodeArgs& a, const Spool& spool, const ReadyStudy& s, const fs::path& self,
                  const fs::path& home, node::Outbox& outbox, NodeLog& log) {
  int analysed = 0;
  for (const auto& name : s.instances) {
    const fs::path file = spool.studyFolder(s.study) / name;
    const node::ImageHeader h = node::readImageHeader(file);
    if (!h.read || h.frames <= 1) {
      log.line("study " + s.study + ": instance " + name + " is not a gated tomographic acquisition, not analysed");
      continue;
    }
    const std::string patient = node::folderNameOf(h.patientId);
    const fs::path folder = fs::path(a.out) / patient / s.study;
    std::error_code ec;
    fs::create_directories(folder, ec);
    const std::string stem = fs::path(name).stem().string();
    const fs::path json = folder / (stem + ".json"), errors = folder / (stem + ".log");
    std::vector<std::string> argv{self.string(),
                                  "analyse",
                                  file.string(),
                                  "--json",
                                  json.string(),
                                  "--save-exam",
                                  (folder / (stem + ".qvx")).string(),
                                  "--report",
                                  (folder / (stem + "-report.dcm")).string()};
    if (a.model3d) argv.push_back("--3d");
    fs::remove(json, ec);
    const fs::path panels = folder / (stem + ".txt");
    const int code = runChild(argv, home, panels, errors);
    ++analysed;
    std::ifstream in(json);
    const nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
    const bool results = (code == 0 || code == kExitImplausible) && !j.is_discarded();
    std::string why;
    if (!results) {
      why = failureMessage(errors, code);
      if (why.starts_with("quorvel-cli: ")) why.erase(0, 13);  // the reason, not who gave it
      if (why.empty()) why = statusName(code);
    } else if (j.contains("warnings")) {
      for (const auto& w : j["warnings"]) why += (why.empty() ? "" : " ") + w.get<std::string>();
    }
    const std::string where = patient + "/" + s.study + "/" + stem;
    log.line("analysed " + where + ": " + statusName(results && code ? kExitImplausible : code) +
             (results ? ", LVEF " + percent(j, "G_FES") + ", RVEF " + percent(j, "D_FES") : std::string()));
    if (results) sendResults(a, j, file, panels, folder, stem, outbox, log);
    if (!why.empty()) {
      appendLine(folder / kToReviewMark, stem + "\t" + why);
      appendLine(fs::path(a.out) / kToReviewList, where + "\t" + why);
      log.line("to review: " + where + ": " + why);
    }
  }
  if (analysed == 0) log.line("study " + s.study + ": no gated tomographic instance to analyse");
  if (!spool.markAnalysed(s)) log.line("study " + s.study + ": cannot record that it was analysed");
}

int runNode(const NodeArgs& a) {
  std::error_code ec;
  fs::create_directories(a.out, ec);
  if (ec) {
    std::cerr << "quorvel-cli: cannot create " << a.out << ": " << ec.message() << '\n';
    return kExitRefused;
  }
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) {
    std::cerr << "quorvel-cli: cannot find its own program\n";
    return kExitRefused;
  }
  Spool spool(fs::absolute(a.spool), a.minFreeMb);
  spool.removeUnfinishedWrites();
  // The analyses' own application folder (undo snapshots, log), with the user's options.
  const fs::path home = spool.root() / ".home";
  fs::create_directories(home / "temp", ec);
  if (const fs::path options = applicationFolder() / kOptionsFileName; fs::exists(options, ec))
    fs::copy_file(options, home / kOptionsFileName, fs::copy_options::overwrite_existing, ec);
  NodeLog log(fs::path(a.out) / kNodeLogName);
  node::Outbox outbox(spool.root() / ".outbox", std::chrono::seconds(a.retrySeconds));
  OFLog::configure(OFLogger::WARN_LOG_LEVEL);  // the node's own log says what happened; the library's chatter stays out

  const node::Caller forwarder(a.storage.aet, a.forwardTls ? a.storage.tls : node::TlsSettings{});
  std::signal(SIGTERM, requestStop);
  std::signal(SIGINT, requestStop);
  auto listenerEnded = std::make_shared<std::atomic<bool>>(false);
  auto listenerWhy = std::make_shared<std::string>();
  // The listener runs until the process ends; it is never joined.
  std::thread([&a, &spool, &log, listenerEnded, listenerWhy] {
    *listenerWhy = node::serveStorage(a.storage, spool, log);
    *listenerEnded = true;
  }).detach();
  while (!stopRequested && !*listenerEnded) {
    for (const ReadyStudy& s : spool.readyStudies(std::chrono::seconds(a.quietSeconds))) {
      log.line("study " + s.study + " complete (" + std::to_string(s.instances.size()) + " instances)");
      analyseStudy(a, spool, s, self, home, outbox, log);
      if (stopRequested) break;
    }
    outbox.deliverDue(forwarder, log);
    std::this_thread::sleep_for(kSpoolPoll);
  }
  if (*listenerEnded) {
    log.line("cannot listen on port " + std::to_string(a.storage.port) + ": " + *listenerWhy);
    std::fflush(nullptr);
    _exit(kExitRefused);
  }
  log.line("stopped");
  std::fflush(nullptr);
  _exit(0);  // the listener thread sits in the network library; what it stored is already on disk
}

// The options of a configuration file that the command line did not give, checked as if given
// there; why the file is refused, or empty.
std::string applyConfigFile(CLI::App* cmd, const std::string& file) {
  std::ifstream in(file);
  std::vector<CLI::ConfigItem> items;
  try {
    items = CLI::ConfigINI().from_config(in);
  } catch (const CLI::Error& e) {
    return file + ": " + e.what();
  }
  for (const CLI::ConfigItem& item : items) {
    if (item.name == "++" || item.name == "--") continue;  // a section opens or closes
    CLI::Option* option = item.name == "config" ? nullptr : cmd->get_option_no_throw("--" + item.name);
    if (!option) return file + ": no option " + item.name;
    if (option->count() > 0) continue;  // the command line wins
    try {
      for (const std::string& value : item.inputs) option->add_result(value);
      option->run_callback();
    } catch (const CLI::Error& e) {
      return file + ": " + item.name + ": " + e.what();
    }
  }
  return {};
}

}  // namespace

void registerNodeCommand(CLI::App& app, int& status) {
  auto args = std::make_shared<NodeArgs>();
  CLI::App* cmd = app.add_subcommand(
      "node", "A DICOM node: receive nuclear medicine studies over the network and analyse each unattended");
  cmd->add_option("--aet", args->storage.aet, "This node's AE title")
      ->capture_default_str()
      ->check([](const std::string& s) {
        return s.empty() || s.size() > 16 ? std::string("1 to 16 characters") : std::string();
      });
  cmd->add_option("--port", args->storage.port, "TCP port to listen on")
      ->capture_default_str()
      ->check(CLI::Range(1, 65535));
  cmd->add_option("--spool", args->spool, "Folder where received instances are kept, by study (required)");
  cmd->add_option("--out", args->out, "Folder of the results, by patient and study, with the node's log (required)");
  cmd->add_option("--allow", args->storage.allowedCallers,
                  "A calling AE title allowed to send (repeatable; default: any)");
  cmd->add_flag("--accept-remote", args->storage.acceptRemote,
                "Accept callers from other machines (default: this machine only; the port is open to all)");
  cmd->add_option("--quiet-seconds", args->quietSeconds, "A study is complete when nothing arrived for this long")
      ->capture_default_str()
      ->check(CLI::Range(1, 86400));
  cmd->add_flag("--3d", args->model3d, "Also build the 3D model and its regional maps for every study");
  cmd->add_option("--forward", args->forward,
                  "Send the report pictures and the structured report to AET@HOST:PORT (repeatable)")
      ->check([](const std::string& s) { return node::parseDestination(s) ? std::string() : "not AET@HOST:PORT"; });
  cmd->add_option("--min-free-mb", args->minFreeMb, "Refuse new instances when the spool's disk has less free space")
      ->capture_default_str();
  cmd->add_option("--retry-seconds", args->retrySeconds,
                  "Wait before sending again after a failure; doubles with every failure, up to an hour")
      ->capture_default_str()
      ->check(CLI::Range(1, 3600));
  addTlsOptions(cmd, args->storage.tls, "this node's");
  cmd->add_flag("--forward-tls", args->forwardTls,
                "Send to the --forward destinations over TLS too, with the same key, certificate and trust");
  auto config = std::make_shared<std::string>();
  cmd->add_option("--config", *config,
                  "Read the node's options from this file: a line 'name = value' per option, long names without the "
                  "dashes, lists as [\"A\", \"B\"]; the command line wins")
      ->check(CLI::ExistingFile);
  cmd->callback([cmd, args, config, &status] {
    std::string why = config->empty() ? std::string() : applyConfigFile(cmd, *config);
    if (why.empty() && (args->spool.empty() || args->out.empty())) why = "--spool and --out are required";
    if (why.empty()) why = checkTlsSettings(args->storage.tls, true);
    if (why.empty() && args->forwardTls) why = checkTlsSettings(args->storage.tls, false);
    if (!why.empty()) {
      std::cerr << "quorvel-cli: " << why << '\n';
      status = kExitRefused;
      return;
    }
    status = runNode(*args);
  });
}

}  // namespace quorvel::cli
