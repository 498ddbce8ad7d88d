#pragma once
// Subcommands of quorvel-cli; each registers itself on the application and, when it runs,
// stores the process exit status in `status` (0 success).
#include <CLI/CLI.hpp>

namespace quorvel::cli {

void registerInfoCommand(CLI::App& app, int& status);
void registerSegmentCommand(CLI::App& app, int& status);
void registerAnalyseCommand(CLI::App& app, int& status);
void registerEvalMethodsCommand(CLI::App& app, int& status);
void registerScriptCommand(CLI::App& app, int& status);
void registerExamCommand(CLI::App& app, int& status);
void registerReformatCommand(CLI::App& app, int& status);
void registerBatchCommand(CLI::App& app, int& status);
void registerCompareCommand(CLI::App& app, int& status);
void registerCalibrateCommand(CLI::App& app, int& status);
void registerNodeCommand(CLI::App& app, int& status);
void registerArchiveCommand(CLI::App& app, int& status);
#ifdef QUORVEL_HAVE_PHANTOM
void registerPhantomCommand(CLI::App& app, int& status);
void registerSimulateCommand(CLI::App& app, int& status);
void registerValidateCommand(CLI::App& app, int& status);
#endif

}  // namespace quorvel::cli
