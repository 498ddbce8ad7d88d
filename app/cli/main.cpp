// quorvel-cli: the headless front end (batch work, demonstration, tests).
#include <CLI/CLI.hpp>

#include "base/large_buffers.h"
#include "commands.h"
#include "pipeline.h"

int main(int argc, char** argv) {
  quorvel::keepFreedVolumesMapped();
  CLI::App app{"Quorvel command line: gated blood-pool tomography analysis"};
  app.require_subcommand(1);
  int status = 0;
  quorvel::cli::registerInfoCommand(app, status);
  quorvel::cli::registerSegmentCommand(app, status);
  quorvel::cli::registerAnalyseCommand(app, status);
  quorvel::cli::registerEvalMethodsCommand(app, status);
  quorvel::cli::registerScriptCommand(app, status);
  quorvel::cli::registerExamCommand(app, status);
  quorvel::cli::registerReformatCommand(app, status);
  quorvel::cli::registerBatchCommand(app, status);
  quorvel::cli::registerCompareCommand(app, status);
  quorvel::cli::registerCalibrateCommand(app, status);
  quorvel::cli::registerNodeCommand(app, status);
  quorvel::cli::registerArchiveCommand(app, status);
#ifdef QUORVEL_HAVE_PHANTOM
  quorvel::cli::registerPhantomCommand(app, status);
  quorvel::cli::registerSimulateCommand(app, status);
  quorvel::cli::registerValidateCommand(app, status);
#endif
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help is not an error; every other parser error (unknown option, missing or refused value,
    // missing file) is the documented status of a refused option.
    return app.exit(e) == 0 ? 0 : quorvel::cli::kExitRefused;
  }
  return status;
}
