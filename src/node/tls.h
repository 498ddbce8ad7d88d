#pragma once
// TLS for the node's associations, on DCMTK's OpenSSL layer (the non-downgrading BCP 195 profile):
// this end's PEM key and certificate, and the PEM certificates trusted to sign the peer's.
#include <memory>
#include <string>
#include <vector>

class DcmTLSTransportLayer;

namespace quorvel::node {

struct TlsSettings {
  std::string keyFile, certificateFile;   // this end's identity
  std::vector<std::string> trustedFiles;  // certificates (or their authorities) the peer's must chain to
  bool enabled() const { return !keyFile.empty() || !certificateFile.empty() || !trustedFiles.empty(); }
};

// What is missing for this role; empty when the settings can be used. A listening end needs its
// key and certificate (and then asks callers for a certificate only when it trusts some); a calling
// end needs what it trusts, since a server it cannot verify is not worth encrypting to.
std::string tlsSettingsProblem(const TlsSettings& settings, bool listening);

struct TlsLayer {
  std::unique_ptr<DcmTLSTransportLayer> layer;  // empty when the settings are not enabled
  std::string why;                              // why it could not be made
  TlsLayer();
  TlsLayer(TlsLayer&&) noexcept;
  TlsLayer& operator=(TlsLayer&&) noexcept;
  ~TlsLayer();
};

// The transport layer for listening or calling, files read and checked.
TlsLayer makeTlsLayer(const TlsSettings& settings, bool listening);

}  // namespace quorvel::node
