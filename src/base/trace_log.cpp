#include "base/trace_log.h"

#include <cstdarg>
#include <fstream>

#include "base/app_folder.h"
#include "base/language.h"

namespace quorvel {

namespace {
constexpr int kCallCounterWrap = 5000;
}

TraceLog::TraceLog(const std::filesystem::path& folder) {
  std::ifstream marker(folder / "work_version.txt");
  if (!marker) return;
  WORK_VERSION = 1;
  ensureApplicationFolder(folder);
  path_ = folder / "temp" / "log.txt";
  std::ofstream out(path_, std::ios::trunc);
  out << "\n\n   --- LOG FILE ---\n\n";
}

void TraceLog::WRITE_LOGFILE(const std::string& text) {
  if (!WORK_VERSION) return;
  if (++calls_ >= kCallCounterWrap) calls_ = 0;
  std::ofstream out(path_, std::ios::app);
  if (out) out << text;  // a log that cannot be opened drops the line
}

void TraceLog::writef(const char* fmt, ...) {
  if (!WORK_VERSION) return;
  va_list args;
  va_start(args, fmt);
  std::string s = vformat(fmt, args);
  va_end(args);
  WRITE_LOGFILE(s);
}

}  // namespace quorvel
