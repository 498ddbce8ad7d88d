#pragma once
// Developer-mode trace log: temp/log.txt in the application folder, written only when
// work_version.txt exists there at start-up. Each line is appended and the file closed,
// so the log is complete even when the program stops abruptly.
#include <filesystem>
#include <string>

namespace quorvel {

class TraceLog {
 public:
  TraceLog() = default;  // disabled
  // Enables the log when folder/work_version.txt can be read; then creates the log afresh.
  explicit TraceLog(const std::filesystem::path& folder);

  bool enabled() const { return WORK_VERSION != 0; }
  // Appends text exactly as given (callers end their lines themselves).
  void WRITE_LOGFILE(const std::string& text);
  void writef(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

  const std::filesystem::path& path() const { return path_; }

  int WORK_VERSION = 0;

 private:
  std::filesystem::path path_;
  int calls_ = 0;
};

}  // namespace quorvel
