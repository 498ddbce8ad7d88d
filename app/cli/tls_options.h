#pragma once
// The TLS options the node and the archive commands share.
#include <CLI/CLI.hpp>
#include <string>

#include "node/tls.h"

namespace quorvel::cli {

// --tls-key, --tls-cert, --tls-trust (repeatable), PEM files.
void addTlsOptions(CLI::App* cmd, node::TlsSettings& tls, const std::string& whose);

// The settings made into a layer for this role, to refuse unusable files before any network work;
// why they cannot be used, or empty.
std::string checkTlsSettings(const node::TlsSettings& tls, bool listening);

}  // namespace quorvel::cli
