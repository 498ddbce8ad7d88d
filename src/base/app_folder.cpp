#include "base/app_folder.h"

#include <cstdlib>
#include <system_error>

namespace quorvel {

std::filesystem::path applicationFolder() {
  if (const char* home = std::getenv("QUORVEL_HOME"); home && *home) return home;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return std::filesystem::path(xdg) / "quorvel";
  if (const char* h = std::getenv("HOME"); h && *h) return std::filesystem::path(h) / ".local/share/quorvel";
  return std::filesystem::current_path() / "quorvel";
}

bool ensureApplicationFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder / "temp", ec);
  return !ec;
}

}  // namespace quorvel
