// quorvel-cli batch FOLDER --out TABLE.csv: analyses every acquisition under a folder, each in a
// process of its own (a study that fails or crashes never stops the others), on N workers; one
// CSV row per study and each study's JSON beside the table.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/app_folder.h"
#include "base/byte_reader.h"
#include "commands.h"
#include "exam/options_file.h"
#include "batch.h"
#include "pipeline.h"
#include "study/interfile_reader.h"

extern char** environ;

namespace quorvel::cli {

namespace {

namespace fs = std::filesystem;

std::string lowerExtension(const fs::path& p) {
  std::string ext = p.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

// Acquisitions by extension; of an Interfile study only its header, of its data files none, and
// of a study written one instant per file only the first instant's header (the reader gathers the
// others from it).
bool isAcquisition(const fs::path& p) {
  const std::string ext = lowerExtension(p);
  if (ext == ".hdr" || ext == ".h33") {
    const std::string stem = p.stem().string();
    std::error_code ec;
    if (isNumberedInstant(p) && !stem.ends_with("01") &&
        fs::exists(p.parent_path() / (stem.substr(0, stem.size() - 2) + "01" + p.extension().string()), ec))
      return false;
    return true;
  }
  return ext == ".dcm" || ext == ".ima" || ext == ".idb";
}

// Every acquisition below the folder, our own outputs (tables, JSON) being none.
std::vector<fs::path> acquisitionsUnder(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    if (it->is_regular_file(ec) && isAcquisition(it->path())) files.push_back(it->path());
  std::sort(files.begin(), files.end());
  return files;
}


constexpr size_t kMostSectors = 25;  // a [left, right] pair of lists longer than this is a curve

bool isNumberList(const nlohmann::json& v, size_t most) {
  return v.is_array() && v.size() <= most &&
         std::all_of(v.begin(), v.end(), [](const nlohmann::json& x) { return x.is_number(); });
}

// Top-level values of a results JSON as CSV cells: numbers, strings and booleans, the members of
// objects as "object.member", the [left, right] pairs of the 3D model as "key.left" / "key.right"
// and its pairs of sector lists as "key.left.01" ...; the curves stay in the JSON.
void flatten(const nlohmann::json& j, const std::string& prefix, std::map<std::string, std::string>& cells) {
  for (const auto& [key, value] : j.items()) {
    const std::string name = prefix.empty() ? key : prefix + "." + key;
    if (value.is_object()) {
      flatten(value, name, cells);
    } else if (value.is_string()) {
      cells[name] = value.get<std::string>();
    } else if (value.is_number() || value.is_boolean()) {
      cells[name] = value.dump();
    } else if (value.is_array() && value.size() == 2) {
      const char* side[] = {".left", ".right"};
      if (isNumberList(value, 2)) {
        for (int v = 0; v < 2; ++v) cells[name + side[v]] = value[v].dump();
      } else if (isNumberList(value[0], kMostSectors) && isNumberList(value[1], kMostSectors)) {
        char index[24];
        for (int v = 0; v < 2; ++v)
          for (size_t k = 0; k < value[v].size(); ++k) {
            std::snprintf(index, sizeof index, ".%02zu", k + 1);
            cells[name + side[v] + index] = value[v][k].dump();
          }
      }
    }
  }
}

std::string csvCell(const std::string& s) {
  if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

}  // namespace

const char* statusName(int code) {
  switch (code) {
    case 0: return "ok";
    case kExitRefused: return "refused";
    case kExitNotSegmented: return "not-segmented";
    case kExitVentricleMissing: return "ventricle-missing";
    case kExitFitFailed: return "fit-failed";
    case kExitImplausible: return "implausible";
    case kExitModelNotBuilt: return "model-not-built";
    case kExitNotPlaced: return "not-placed";
    default: return "failed";
  }
}

// Runs argv with QUORVEL_HOME=home, its output and errors into files; the exit code, or -signal.
int runChild(const std::vector<std::string>& argv, const fs::path& home, const fs::path& outFile,
             const fs::path& errFile) {
  std::vector<std::string> env{"QUORVEL_HOME=" + home.string()};
  for (char** e = environ; *e; ++e)
    if (std::string_view(*e).substr(0, 13) != "QUORVEL_HOME=") env.emplace_back(*e);
  std::vector<char*> args, envp;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  args.push_back(nullptr);
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1000;
  int st = 0;
  while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(st) ? WEXITSTATUS(st) : -WTERMSIG(st);
}

// What the user should read of a failed study: the last line of its errors that is neither a
// stage time, the placement used, nor the option parser's pointer to the help.
std::string failureMessage(const fs::path& errFile, int code) {
  std::ifstream in(errFile);
  std::string line, last;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const bool timing = line.size() > 3 && line.ends_with(" ms");
    if (!line.empty() && !timing && !line.starts_with("placement (") && !line.starts_with("Run with --help"))
      last = line;
  }
  if (code < 0 && code != -1000) return "ended by signal " + std::to_string(-code) + (last.empty() ? "" : ": " + last);
  if (code == -1000) return "could not start the analysis";
  const size_t first = last.find_first_not_of(' '), end = last.find_last_not_of(' ');
  return first == std::string::npos ? std::string() : last.substr(first, end - first + 1);
}

fs::path studyJson(const fs::path& file, const fs::path& folder, const fs::path& jsonDir) {
  fs::path json = jsonDir / file.lexically_relative(folder);
  json += ".json";
  return json;
}

int runBatch(const BatchArgs& a, std::vector<BatchRow>* analysed) {
  const fs::path out = fs::absolute(a.out), jsonDir = out.parent_path();
  const fs::path folder = fs::absolute(a.folder);
  const std::vector<fs::path> files = acquisitionsUnder(folder);
  if (files.empty()) {
    std::cerr << "quorvel-cli: no acquisition (.dcm, .ima, .idb, .hdr, .h33) under " << a.folder << '\n';
    return kExitRefused;
  }
  std::error_code ec;
  fs::create_directories(jsonDir, ec);
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) {
    std::cerr << "quorvel-cli: cannot find its own program\n";
    return kExitRefused;
  }
  // The options once, on the first study, before any work: one every study would refuse stops here.
  {
    const fs::path check = fs::temp_directory_path() / ("quorvel-batch-check-" + std::to_string(getpid()));
    fs::create_directories(check / "temp", ec);
    std::vector<std::string> argv{self.string(), "analyse", files.front().string(), "--check-options"};
    argv.insert(argv.end(), a.analyse.begin(), a.analyse.end());
    const int code = runChild(argv, check, check / "out.txt", check / "err.txt");
    const std::string why = failureMessage(check / "err.txt", code);
    fs::remove_all(check, ec);
    if (code != 0) {
      std::cerr << "quorvel-cli: the analyse options are refused" << (why.empty() ? "" : ": " + why) << '\n';
      return kExitRefused;
    }
  }
  // Every worker its own application folder (undo snapshots, log), with the user's options.
  const fs::path work = fs::temp_directory_path() / ("quorvel-batch-" + std::to_string(getpid()));
  const int jobs = std::max(1, a.jobs > 0 ? a.jobs : static_cast<int>(std::thread::hardware_concurrency()));
  const fs::path userOptions = applicationFolder() / kOptionsFileName;
  for (int k = 0; k < jobs; ++k) {
    fs::create_directories(work / std::to_string(k) / "temp", ec);
    if (fs::exists(userOptions)) fs::copy_file(userOptions, work / std::to_string(k) / kOptionsFileName, ec);
  }

  std::vector<BatchRow> rows(files.size());
  std::atomic<size_t> next{0};
  std::mutex progressMutex;
  int done = 0, failed = 0;
  const auto start = std::chrono::steady_clock::now();
  auto worker = [&](int k) {
    const fs::path home = work / std::to_string(k);
    for (size_t i = next++; i < files.size(); i = next++) {
      const fs::path json = studyJson(files[i], folder, jsonDir);
      std::vector<std::string> argv{self.string(), "analyse", files[i].string(), "--json", json.string()};
      argv.insert(argv.end(), a.analyse.begin(), a.analyse.end());
      fs::create_directories(json.parent_path(), ec);
      fs::remove(json, ec);
      const int code = runChild(argv, home, home / "out.txt", home / "err.txt");
      BatchRow& r = rows[i];
      r.file = files[i].lexically_relative(folder).string();
      r.status = statusName(code);
      std::ifstream in(json);
      const nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
      if ((code == 0 || code == kExitImplausible) && !j.is_discarded()) {
        flatten(j, "", r.cells);
        if (j.contains("warnings"))
          for (const auto& w : j["warnings"]) r.message += (r.message.empty() ? "" : " ") + w.get<std::string>();
      } else {
        if (code == 0) r.status = "failed";
        r.message = failureMessage(home / "err.txt", code);
      }
      std::lock_guard lock(progressMutex);
      ++done;
      failed += r.status != "ok" && r.status != "implausible";
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      const double left = elapsed / done * static_cast<double>(files.size() - done);
      std::fprintf(stderr, "\r%d / %zu studies done, %d failed, about %.0f s left   ", done, files.size(), failed, left);
      std::fflush(stderr);
    }
  };
  std::vector<std::thread> threads;
  for (int k = 0; k < jobs; ++k) threads.emplace_back(worker, k);
  for (auto& t : threads) t.join();
  std::fprintf(stderr, "\n");
  fs::remove_all(work, ec);

  std::set<std::string> keys;
  for (const BatchRow& r : rows)
    for (const auto& [key, value] : r.cells) keys.insert(key);
  std::string table;
  for (const std::string& k : keys) table += csvCell(k) + ",";
  table += "file,status,message\n";
  for (const BatchRow& r : rows) {
    for (const std::string& k : keys) table += (r.cells.count(k) ? csvCell(r.cells.at(k)) : "") + ",";
    table += csvCell(r.file) + "," + r.status + "," + csvCell(r.message) + "\n";
  }
  if (!writeFileAtomically(out, std::string_view(table))) {
    std::cerr << "quorvel-cli: cannot write " << a.out << '\n';
    return kExitRefused;
  }
  // Studies analysed with a warning: results a person should look at before they are used.
  const long review =
      std::count_if(rows.begin(), rows.end(), [](const BatchRow& r) { return r.status == "implausible"; });
  std::cerr << files.size() << " studies, " << failed << " failed, " << review << " to review -> " << a.out << '\n';
  if (analysed) *analysed = std::move(rows);
  return failed == static_cast<int>(files.size()) ? kExitNoStudyAnalysed : 0;
}

void registerBatchCommand(CLI::App& app, int& status) {
  auto args = std::make_shared<BatchArgs>();
  CLI::App* cmd = app.add_subcommand(
      "batch", "Analyse every acquisition under a folder; one CSV row per study, each study's JSON beside the table. "
               "Options after the ones below go to every analyse (e.g. --method 2 --3d)");
  cmd->add_option("folder", args->folder, "Folder searched for .dcm, .ima, .idb, .hdr and .h33 files")
      ->required()
      ->check(CLI::ExistingDirectory);
  cmd->add_option("--out", args->out, "The CSV table to write (its folder is created when missing)")->required();
  cmd->add_option("--jobs", args->jobs, "Studies analysed at once (default: the cores)")->check(CLI::Range(1, 256));
  cmd->allow_extras();
  cmd->callback([cmd, args, &status] {
    args->analyse = cmd->remaining();
    for (const std::string& o : args->analyse)
      if (o == "--json" || o == "--pictures" || o == "--save-exam" || o == "--report" || o == "--xls" || o == "--xls17") {
        std::cerr << "quorvel-cli: batch writes each study's JSON itself; " << o << " names one file for every study\n";
        status = kExitRefused;
        return;
      }
    status = runBatch(*args);
  });
}

}  // namespace quorvel::cli
