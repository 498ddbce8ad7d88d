// quorvel-cli eval-methods [--out FILE]: runs the comparison of the fitting methods on synthetic
// curves of known truth and writes its report (by default TACs/C-R.txt in the application folder).
#include <iostream>
#include <memory>
#include <string>

#include "base/app_folder.h"
#include "base/byte_reader.h"
#include "commands.h"
#include "console_platform.h"
#include "ui/workstation.h"

namespace quorvel::cli {

namespace {

struct EvalArgs {
  std::string out;
  int runs = kComparisonRuns;
};

int runEvalMethods(const EvalArgs& a) {
  ConsolePlatform platform;
  platform.showProgress = true;
  Workstation ws(platform, applicationFolder());
  const std::filesystem::path& folder = ws.folder;
  const std::string report = ws.compareMethods(a.runs);
  std::filesystem::path out = a.out;
  if (out.empty()) {
    out = folder / "TACs" / "C-R.txt";
    std::filesystem::create_directories(out.parent_path());
  }
  if (!writeFileAtomically(out, std::string_view(report))) {
    std::cerr << "quorvel-cli: cannot write " << out.string() << '\n';
    return 2;
  }
  std::cout << report;
  std::cerr << "Report written to " << out.string() << '\n';
  return 0;
}

}  // namespace

void registerEvalMethodsCommand(CLI::App& app, int& status) {
  auto args = std::make_shared<EvalArgs>();
  CLI::App* cmd = app.add_subcommand(
      "eval-methods", "Compare the five fitting methods on synthetic volume curves of known truth");
  cmd->add_option("--out", args->out, "Report file (default: TACs/C-R.txt in the application folder)");
  cmd->add_option("--runs", args->runs, "Repetitions of each noisy case")->check(CLI::Range(1, 100000))->capture_default_str();
  cmd->callback([args, &status] { status = runEvalMethods(*args); });
}

}  // namespace quorvel::cli
