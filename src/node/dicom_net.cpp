#include "node/dicom_net.h"

#include <dcmtk/dcmdata/dcuid.h>

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

void configureScu(DcmSCU& scu, const std::string& callingAet, const Destination& peer) {
  scu.setAETitle(callingAet.c_str());
  scu.setPeerAETitle(peer.aet.c_str());
  scu.setPeerHostName(peer.host.c_str());
  scu.setPeerPort(peer.port);
  scu.setACSETimeout(kNetworkTimeoutSeconds);
  scu.setDIMSETimeout(kNetworkTimeoutSeconds);
  scu.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
}

std::string connectScu(DcmSCU& scu) {
  if (OFCondition c = scu.initNetwork(); c.bad()) return std::string("network: ") + c.text();
  if (OFCondition c = scu.negotiateAssociation(); c.bad()) return std::string("association: ") + c.text();
  return {};
}

}  // namespace quorvel::node
