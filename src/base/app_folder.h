#pragma once
// The application folder: options file "Opt", temp/ (undo snapshots, log), work_version.txt.
// On Linux a per-user data folder ($XDG_DATA_HOME/quorvel, else ~/.local/share/quorvel);
// the environment variable QUORVEL_HOME overrides it (tests use a temporary folder).
#include <filesystem>

namespace quorvel {

std::filesystem::path applicationFolder();
// Creates the folder and its temp/ sub-folder when missing; returns false when it cannot.
bool ensureApplicationFolder(const std::filesystem::path& folder);

}  // namespace quorvel
