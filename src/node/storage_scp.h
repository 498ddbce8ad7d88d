#pragma once
// The node's storage service: a pool of DICOM associations (several callers at once) that accepts
// nuclear medicine images from the callers it trusts and hands each instance to the spool.
#include <cstdint>
#include <string>
#include <vector>

#include "node/tls.h"

namespace quorvel::node {

class NodeLog;
class Spool;

inline constexpr int kMaxAssociations = 8;
inline constexpr uint32_t kNetworkTimeoutSeconds = 30;

struct StorageConfig {
  std::string aet = "QUORVEL";
  uint16_t port = 11112;
  std::vector<std::string> allowedCallers;  // calling AE titles; empty: any caller
  bool acceptRemote = false;                // callers from other machines too (default: this machine only)
  TlsSettings tls;                          // when enabled, every association is TLS
};

// Whether a caller's address is this machine (IPv4 127/8, IPv6 ::1 or its IPv4-mapped form).
bool isLoopbackAddress(const std::string& address);

// Serves until the process ends; returns the reason when the port cannot be listened on (or TLS set up).
std::string serveStorage(const StorageConfig& config, Spool& spool, NodeLog& log);

}  // namespace quorvel::node
