#pragma once
// Analysing every acquisition under a folder, each in a process of its own, for the batch command
// and the commands that build on it.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace quorvel::cli {

struct BatchArgs {
  std::string folder, out;
  int jobs = 0;                      // 0: the cores
  std::vector<std::string> analyse;  // options handed to every analyse
};

// One study's row: its path under the folder, "ok", "implausible" or why not, and its results.
struct BatchRow {
  std::string file, status, message;
  std::map<std::string, std::string> cells;
};

// Writes the CSV table a.out (one row per study) and each study's JSON beside it; returns the
// exit status of the batch command, and the rows when asked.
int runBatch(const BatchArgs& a, std::vector<BatchRow>* rows = nullptr);

// A study's JSON beside the table: its path under the folder kept (sub-folders created), so that no
// two studies share one.
std::filesystem::path studyJson(const std::filesystem::path& file, const std::filesystem::path& folder,
                                const std::filesystem::path& jsonDir);

// Runs argv with QUORVEL_HOME=home, its output and errors into files; the exit code, or -signal
// (-1000 when it could not start).
int runChild(const std::vector<std::string>& argv, const std::filesystem::path& home,
             const std::filesystem::path& outFile, const std::filesystem::path& errFile);

// What the user should read of a failed analysis, from its errors file and exit code.
std::string failureMessage(const std::filesystem::path& errFile, int code);

// The name of an analysis's exit code in tables and logs ("ok", "implausible", "refused", ...).
const char* statusName(int code);

}  // namespace quorvel::cli
