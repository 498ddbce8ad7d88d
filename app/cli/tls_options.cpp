#include "tls_options.h"

namespace quorvel::cli {

void addTlsOptions(CLI::App* cmd, node::TlsSettings& tls, const std::string& whose) {
  cmd->add_option("--tls-key", tls.keyFile, "TLS: " + whose + " private key (PEM, unencrypted)")
      ->check(CLI::ExistingFile);
  cmd->add_option("--tls-cert", tls.certificateFile, "TLS: " + whose + " certificate (PEM)")->check(CLI::ExistingFile);
  cmd->add_option("--tls-trust", tls.trustedFiles,
                  "TLS: a certificate, or its authority's, that the peer's must chain to (PEM, repeatable)")
      ->check(CLI::ExistingFile);
}

std::string checkTlsSettings(const node::TlsSettings& tls, bool listening) {
  const node::TlsLayer layer = node::makeTlsLayer(tls, listening);
  return layer.why.empty() ? std::string() : "TLS: " + layer.why;
}

}  // namespace quorvel::cli
