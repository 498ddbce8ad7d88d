// quorvel-cli: the headless front end (batch work, demonstration, tests).
#include <CLI/CLI.hpp>
#include <iostream>

int main(int argc, char** argv) {
  CLI::App app{"Quorvel command line: gated blood-pool tomography analysis"};
  app.require_subcommand(1);
  CLI11_PARSE(app, argc, argv);
  return 0;
}
