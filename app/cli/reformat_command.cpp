// quorvel-cli reformat FOLDER OUT.dcm: gathers a folder of single-frame short-axis DICOM slice
// files into one multi-frame file that analyse opens.
#include <iostream>
#include <memory>
#include <string>

#include "base/byte_reader.h"
#include "base/options.h"
#include "base/trace_log.h"
#include "commands.h"
#include "pipeline.h"
#include "study/dicom_reformat.h"

namespace quorvel::cli {

namespace {

struct ReformatArgs {
  std::string folder, out;
  int variant = 1;
  int instants = 8;
  std::string language = "en";
};

int runReformat(const ReformatArgs& a) {
  Options opt;
  opt.DEFAULT_ninst = a.instants;
  const int LANGUE = a.language == "fr" ? kFrench : kEnglish;
  TraceLog log;
  Refusal why;
  const auto volume = RDSA_EXTRACT_DATA(a.folder, a.variant, opt, log, why, {}, a.out);
  if (!volume) {
    std::cerr << "quorvel-cli: " << why.text(LANGUE) << '\n';
    return kExitRefused;
  }
  for (const std::string& name : volume->skipped) std::cerr << "skipped: " << name << '\n';
  const std::vector<uint8_t> bytes = reformattedFile(*volume, a.variant);
  if (bytes.empty() || !writeFileAtomically(a.out, bytes)) {
    std::cerr << "quorvel-cli: cannot write " << a.out << '\n';
    return kExitRefused;
  }
  std::cout << volume->files << " slice files (" << volume->placed << " frames placed), " << volume->Ninst << " instants x " << volume->NCZ << " slices of "
            << volume->OrImSize_H << " x " << volume->OrImSize_V << " -> " << a.out << '\n';
  return 0;
}

}  // namespace

void registerReformatCommand(CLI::App& app, int& status) {
  auto args = std::make_shared<ReformatArgs>();
  CLI::App* cmd = app.add_subcommand(
      "reformat", "Gather a folder of single-frame short-axis DICOM slices into one multi-frame DICOM file");
  cmd->add_option("folder", args->folder, "Folder of the slice files")->required()->check(CLI::ExistingDirectory);
  cmd->add_option("out", args->out, "Multi-frame DICOM file to write")->required();
  cmd->add_option("--variant", args->variant,
                  "1: signed slices re-sliced along their rows; 2: unsigned slices scaled by their rescale slopes")
      ->check(CLI::IsMember({1, 2}))
      ->capture_default_str();
  cmd->add_option("--instants", args->instants, "Instants when the files do not give their Number of Time Slots")
      ->check(CLI::IsMember({8, 16}))
      ->capture_default_str();
  cmd->add_option("--lang", args->language, "Language of the messages: fr or en")
      ->check(CLI::IsMember({"fr", "en"}))
      ->capture_default_str();
  cmd->callback([args, &status] { status = runReformat(*args); });
}

}  // namespace quorvel::cli
