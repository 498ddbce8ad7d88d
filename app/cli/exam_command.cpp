// quorvel-cli exam FILE: reopens a saved exam and prints its stored results as the analyse command
// does; --json writes them with the same keys, --save-exam saves the reopened exam again.
#include <iostream>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "base/byte_reader.h"
#include "commands.h"
#include "pipeline.h"
#include "ui/results_json.h"
#include "ui/shell.h"

namespace quorvel::cli {

namespace {

struct ExamArgs {
  std::string file, json, saveExam;
  std::string language = "en";
};

int runExam(const ExamArgs& a) {
  Session session;
  Workstation& ws = session.ws;
  ws.w.options.LANGUE = a.language == "fr" ? kFrench : kEnglish;
  try {
    if (!ws.openExam(a.file)) return kExitRefused;  // the refusal has been shown
  } catch (const FatalExit& e) {
    return e.code;
  }
  const Study& s = ws.w.study;
  const WorkflowState& f = ws.w.settings.flow;
  std::cout << s.Ninst << " instants, " << s.NCZ << " slices, stage " << ws.shell._MENU_ << "\n";
  if (f.vidange_done) printPanels(ws, std::cout);
  if (f.build_visu) printModelPanels(ws, std::cout);
  if (!a.json.empty()) {
    nlohmann::json j = resultsJson(ws);
    if (f.build_visu) j.update(model3dJson(ws));
    const std::string text = j.dump(2) + "\n";
    if (!writeFileAtomically(a.json, std::string_view(text))) {
      std::cerr << "quorvel-cli: cannot write " << a.json << '\n';
      return kExitRefused;
    }
  }
  if (!a.saveExam.empty() && !ws.saveExam(a.saveExam)) return kExitRefused;
  return 0;
}

}  // namespace

void registerExamCommand(CLI::App& app, int& status) {
  auto args = std::make_shared<ExamArgs>();
  CLI::App* cmd = app.add_subcommand("exam", "Reopen a saved exam (.qvx) and print its stored results");
  cmd->add_option("file", args->file, "Exam file (.qvx)")->required()->check(CLI::ExistingFile);
  cmd->add_option("--json", args->json, "Also write the results as JSON (the keys of analyse --json)");
  cmd->add_option("--save-exam", args->saveExam, "Save the reopened exam again under this name");
  cmd->add_option("--lang", args->language, "Language of the messages and results: fr or en")
      ->check(CLI::IsMember({"fr", "en"}))
      ->capture_default_str();
  cmd->callback([args, &status] { status = runExam(*args); });
}

}  // namespace quorvel::cli
