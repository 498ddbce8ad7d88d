// quorvel-cli script FILE: drives one workstation through the events of a script, as a desktop
// would, and prints what each event did and every message shown. Exits 1 at the first failed
// expectation, 2 when the script cannot be read.
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "base/app_folder.h"
#include "base/scripted_platform.h"
#include "commands.h"
#include "pipeline.h"
#include "ui/script.h"
#include "ui/shell.h"
#include "ui/view_pictures.h"

namespace quorvel::cli {

namespace {

constexpr int kExitScriptFailed = 1;

int runScriptFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    std::cerr << "quorvel-cli: cannot read " << path << '\n';
    return kExitRefused;
  }
  std::string error;
  const auto events = parseScript(in, error);
  if (!events) {
    std::cerr << "quorvel-cli: " << path << ": " << error << '\n';
    return kExitRefused;
  }
  ScriptedPlatform platform;
  Workstation ws(platform, applicationFolder());
  try {
    startUp(ws);
    ScriptOutputs outputs;
    outputs.picture = [&ws](View view, const std::string& file) { return writeViewPicture(ws, view, file); };
    return runScript(ws, platform, *events, std::cout, outputs) ? 0 : kExitScriptFailed;
  } catch (const FatalExit& e) {
    std::cout << "fatal: " << e.text << '\n';
    return e.code;
  }
}

}  // namespace

void registerScriptCommand(CLI::App& app, int& status) {
  auto path = std::make_shared<std::string>();
  CLI::App* cmd = app.add_subcommand("script", "Drive the workstation through the events of a script file");
  cmd->add_option("file", *path, "Script: one event per line (open, command, key, press, move, ...)")
      ->required()
      ->check(CLI::ExistingFile);
  cmd->callback([path, &status] { status = runScriptFile(*path); });
}

}  // namespace quorvel::cli
