#pragma once
// The node's log: one dated line per event (what arrived, what was analysed, what was refused),
// appended to a file and echoed to standard error; safe from several threads.
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

namespace quorvel::node {

class NodeLog {
 public:
  explicit NodeLog(const std::filesystem::path& file, bool echo = true);
  void line(const std::string& text);

 private:
  std::mutex mutex_;
  std::ofstream out_;
  bool echo_;
};

}  // namespace quorvel::node
