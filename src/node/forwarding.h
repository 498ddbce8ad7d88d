#pragma once
// Sending results to the configured DICOM destinations: each delivery (files to one destination)
// is kept on disk until the destination has stored every file, and retried with a delay that
// doubles after every failure, so that neither a destination that is down nor a restart loses it.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "node/tls.h"

namespace quorvel::node {

class NodeLog;

struct Destination {
  std::string aet, host;
  uint16_t port = 0;
  std::string text() const { return aet + "@" + host + ":" + std::to_string(port); }
};

// This end of an association it opens: its AE title, and TLS when it has settings for it.
struct Caller {
  std::string aet;
  TlsSettings tls;
  Caller(std::string title, TlsSettings settings = {}) : aet(std::move(title)), tls(std::move(settings)) {}
};

// AET@HOST:PORT; nothing when it is not one.
std::optional<Destination> parseDestination(std::string_view text);

// Sends the files in one association; why not every file was stored, or empty.
std::string sendFiles(const Caller& from, const Destination& to, const std::vector<std::filesystem::path>& files);

inline constexpr std::chrono::seconds kLongestRetryDelay{3600};

class Outbox {
 public:
  Outbox(std::filesystem::path folder, std::chrono::seconds firstRetry);
  // Queues one delivery, due now.
  bool add(const Destination& to, const std::vector<std::filesystem::path>& files);
  // Tries every delivery that is due; a failed one waits twice as long as before.
  void deliverDue(const Caller& from, NodeLog& log);
  size_t pending() const;

 private:
  std::filesystem::path folder_;
  std::chrono::seconds firstRetry_;
  uint64_t counter_ = 0;
};

}  // namespace quorvel::node
