#include "node/tls.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmtls/tlslayer.h>

#include <mutex>

namespace quorvel::node {

TlsLayer::TlsLayer() = default;
TlsLayer::TlsLayer(TlsLayer&&) noexcept = default;
TlsLayer& TlsLayer::operator=(TlsLayer&&) noexcept = default;
TlsLayer::~TlsLayer() = default;

std::string tlsSettingsProblem(const TlsSettings& s, bool listening) {
  if (!s.enabled()) return {};
  if (s.keyFile.empty() != s.certificateFile.empty()) return "TLS needs both a key and a certificate";
  if (listening && s.keyFile.empty()) return "listening with TLS needs this node's key and certificate";
  if (!listening && s.trustedFiles.empty()) return "calling with TLS needs the certificates to trust";
  return {};
}

TlsLayer makeTlsLayer(const TlsSettings& s, bool listening) {
  TlsLayer out;
  if (!s.enabled()) return out;
  if (out.why = tlsSettingsProblem(s, listening); !out.why.empty()) return out;
  static std::once_flag initialised;
  std::call_once(initialised, [] { DcmTLSTransportLayer::initializeOpenSSL(); });
  auto layer = std::make_unique<DcmTLSTransportLayer>(listening ? NET_ACCEPTOR : NET_REQUESTOR, nullptr, OFFalse);
  const auto fail = [&](const std::string& what, const OFCondition& c) {
    out.why = what + ": " + c.text();
    return std::move(out);
  };
  for (const std::string& f : s.trustedFiles)
    if (OFCondition c = layer->addTrustedCertificateFile(f.c_str(), DCF_Filetype_PEM); c.bad())
      return fail("trusted certificate " + f, c);
  if (!s.keyFile.empty()) {
    // An encrypted key is refused rather than asked for on a terminal an unattended node lacks.
    layer->setPrivateKeyPasswd("");
    if (OFCondition c = layer->setPrivateKeyFile(s.keyFile.c_str(), DCF_Filetype_PEM); c.bad())
      return fail("key " + s.keyFile, c);
    if (OFCondition c = layer->setCertificateFile(s.certificateFile.c_str(), DCF_Filetype_PEM); c.bad())
      return fail("certificate " + s.certificateFile, c);
    if (!layer->checkPrivateKeyMatchesCertificate()) {
      out.why = "the key " + s.keyFile + " does not belong to the certificate " + s.certificateFile;
      return out;
    }
  }
  if (OFCondition c = layer->setTLSProfile(TSP_Profile_BCP195_ND); c.bad()) return fail("TLS profile", c);
  if (OFCondition c = layer->activateCipherSuites(); c.bad()) return fail("TLS cipher suites", c);
  layer->setCertificateVerification(s.trustedFiles.empty() ? DCV_ignoreCertificate : DCV_requireCertificate);
  out.layer = std::move(layer);
  return out;
}

}  // namespace quorvel::node
