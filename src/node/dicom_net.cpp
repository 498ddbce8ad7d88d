#include "node/dicom_net.h"

#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmtls/tlslayer.h>

#include "node/storage_scp.h"

namespace quorvel::node {

std::string elementText(DcmItem& item, const DcmTagKey& tag) {
  OFString v;
  return item.findAndGetOFString(tag, v).good() ? std::string(v.c_str()) : std::string();
}

OFList<OFString> uncompressedSyntaxes() {
  OFList<OFString> l;
  l.push_back(UID_LittleEndianExplicitTransferSyntax);
  l.push_back(UID_LittleEndianImplicitTransferSyntax);
  return l;
}

NodeScu::NodeScu(const Caller& from, const Destination& peer) : tls_(from.tls) {
  setAETitle(from.aet.c_str());
  setPeerAETitle(peer.aet.c_str());
  setPeerHostName(peer.host.c_str());
  setPeerPort(peer.port);
  setACSETimeout(kNetworkTimeoutSeconds);
  setDIMSETimeout(kNetworkTimeoutSeconds);
  setDIMSEBlockingMode(DIMSE_NONBLOCKING);
}

NodeScu::~NodeScu() {
  // The association and network go while the TLS layer they use still lives.
  if (isConnected()) abortAssociation();
  freeNetwork();
}

std::string NodeScu::connect() {
  if (OFCondition c = initNetwork(); c.bad()) return std::string("network: ") + c.text();
  if (tls_.enabled()) {
    // The layer must outlive the association, and the network must exist before it is set.
    tlsLayer_ = makeTlsLayer(tls_, false);
    if (!tlsLayer_.why.empty()) return "TLS: " + tlsLayer_.why;
    if (OFCondition c = useSecureConnection(tlsLayer_.layer.get()); c.bad()) return std::string("TLS: ") + c.text();
  }
  if (OFCondition c = negotiateAssociation(); c.bad()) return std::string("association: ") + c.text();
  return {};
}

}  // namespace quorvel::node
