#include "node/node_log.h"

#include <chrono>
#include <ctime>
#include <iostream>

namespace quorvel::node {

NodeLog::NodeLog(const std::filesystem::path& file, bool echo) : out_(file, std::ios::app), echo_(echo) {}

void NodeLog::line(const std::string& text) {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  std::lock_guard lock(mutex_);
  out_ << stamp << "  " << text << '\n' << std::flush;
  if (echo_) std::cerr << stamp << "  " << text << '\n';
}

}  // namespace quorvel::node
