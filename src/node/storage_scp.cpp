#include "node/storage_scp.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/scppool.h>
#include <dcmtk/dcmnet/scpthrd.h>
#include <dcmtk/dcmtls/tlslayer.h>

#include <algorithm>
#include <memory>

#include "node/node_log.h"
#include "node/spool.h"

namespace quorvel::node {

namespace {

struct NodeContext {
  const StorageConfig& config;
  Spool& spool;
  NodeLog& log;
};

std::string trimmed(const OFString& s) {
  std::string t = s.c_str();
  while (!t.empty() && (t.back() == ' ' || t.back() == '\0')) t.pop_back();
  return t;
}

// One association's worker: the pool makes one per concurrent caller.
class NodeWorker : public DcmBaseSCPPool::DcmBaseSCPWorker, private DcmThreadSCP {
 public:
  NodeWorker(DcmBaseSCPPool& pool, const NodeContext& context) : DcmBaseSCPWorker(pool), context_(context) {}

  OFCondition setSharedConfig(const DcmSharedSCPConfig& config) override {
    return DcmThreadSCP::setSharedConfig(config);
  }
  OFBool busy() override { return DcmThreadSCP::isConnected(); }
  OFCondition workerListen(T_ASC_Association* const assoc) override { return DcmThreadSCP::run(assoc); }

 private:
  OFBool checkCalledAETitleAccepted(const OFString& calledAE) override {
    const bool ok = trimmed(calledAE) == context_.config.aet;
    if (!ok)
      context_.log.line("refused an association called " + trimmed(calledAE) + ": this node is " + context_.config.aet);
    return ok;
  }

  OFBool checkCallingAETitleAccepted(const OFString& callingAE) override {
    const auto& allowed = context_.config.allowedCallers;
    const bool ok = allowed.empty() || std::find(allowed.begin(), allowed.end(), trimmed(callingAE)) != allowed.end();
    if (!ok) context_.log.line("refused an association from " + trimmed(callingAE) + ": not an allowed caller");
    return ok;
  }

  OFBool checkCallingHostAccepted(const OFString& host) override {
    // The library hands the host name only when it looks names up; the address is the peer's.
    const std::string address = host.empty() ? getPeerIP().c_str() : host.c_str();
    const bool ok = context_.config.acceptRemote || isLoopbackAddress(address);
    if (!ok)
      context_.log.line("refused an association from " + address + ": callers from other machines are not accepted");
    return ok;
  }

  OFCondition handleIncomingCommand(T_DIMSE_Message* message, const DcmPresentationContextInfo& info) override {
    if (message->CommandField != DIMSE_C_STORE_RQ) return DcmThreadSCP::handleIncomingCommand(message, info);
    T_DIMSE_C_StoreRQ& request = message->msg.CStoreRQ;
    DcmDataset* received = nullptr;
    const OFCondition got = receiveSTORERequest(request, info.presentationContextID, received);
    const std::unique_ptr<DcmDataset> dataset(received);
    if (got.bad()) {
      context_.log.line("lost an instance from " + trimmed(getPeerAETitle()) + ": " + got.text());
      return got;
    }
    const StoreOutcome out =
        context_.spool.storeInstance(*dataset, request.AffectedSOPClassUID, request.AffectedSOPInstanceUID);
    if (out.stored())
      context_.log.line("received instance " + out.instance + " of study " + out.study + " from " +
                        trimmed(getPeerAETitle()));
    else
      context_.log.line("refused an instance from " + trimmed(getPeerAETitle()) + ": " + out.why);
    return sendSTOREResponse(info.presentationContextID, request, out.status);
  }

  NodeContext context_;
};

class NodePool : public DcmBaseSCPPool {
 public:
  explicit NodePool(const NodeContext& context) : context_(context) {}

 private:
  DcmBaseSCPWorker* createSCPWorker() override { return new NodeWorker(*this, context_); }
  NodeContext context_;
};

}  // namespace

bool isLoopbackAddress(const std::string& address) {
  return address.starts_with("127.") || address == "::1" || address.starts_with("::ffff:127.");
}

std::string serveStorage(const StorageConfig& config, Spool& spool, NodeLog& log) {
  NodePool pool(NodeContext{config, spool, log});
  DcmSCPConfig& c = pool.getConfig();
  c.setAETitle(config.aet.c_str());
  c.setPort(config.port);
  c.setACSETimeout(kNetworkTimeoutSeconds);
  c.setDIMSETimeout(kNetworkTimeoutSeconds);
  c.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
  c.setHostLookupEnabled(OFFalse);
  // Uncompressed transfer syntaxes only: the acquisition reader decodes no compressed pixels.
  const OFList<OFString> syntaxes = [] {
    OFList<OFString> l;
    l.push_back(UID_LittleEndianExplicitTransferSyntax);
    l.push_back(UID_BigEndianExplicitTransferSyntax);
    l.push_back(UID_LittleEndianImplicitTransferSyntax);
    return l;
  }();
  c.addPresentationContext(UID_NuclearMedicineImageStorage, syntaxes);
  c.addPresentationContext(UID_VerificationSOPClass, syntaxes);
  pool.setMaxThreads(kMaxAssociations);
  const TlsLayer tls = makeTlsLayer(config.tls, true);
  if (!tls.why.empty()) return "TLS: " + tls.why;
  if (tls.layer) c.setTransportLayer(tls.layer.get());
  log.line("listening as " + config.aet + " on port " + std::to_string(config.port) + (tls.layer ? " with TLS" : ""));
  const OFCondition ended = pool.listen();
  return ended.text();
}

}  // namespace quorvel::node
