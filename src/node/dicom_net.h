#pragma once
// What the node's DICOM code shares: an element's text, and an association opened as a user of a
// peer's service (the archive, a destination) with the node's timeouts and, when configured, TLS.
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <dcmtk/dcmnet/scu.h>

#include <string>

#include "node/forwarding.h"

namespace quorvel::node {

// The element's value as text; empty when it is absent.
std::string elementText(DcmItem& item, const DcmTagKey& tag);

// The transfer syntaxes the node proposes: uncompressed, little endian.
OFList<OFString> uncompressedSyntaxes();

// Our AE title, the peer and the timeouts; the presentation contexts are the user's to add.
class NodeScu : public DcmSCU {
 public:
  NodeScu(const Caller& from, const Destination& peer);
  ~NodeScu() override;
  // Opens the association; why not, or empty.
  std::string connect();

 private:
  TlsSettings tls_;
  TlsLayer tlsLayer_;
};

}  // namespace quorvel::node
