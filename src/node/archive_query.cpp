#include "node/archive_query.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/scu.h>

#include <algorithm>
#include <memory>

#include "node/dicom_net.h"
#include "node/spool.h"
#include "node/uid_names.h"

namespace quorvel::node {

namespace fs = std::filesystem;

namespace {

template <typename Response>
void freeResponses(OFList<Response*>& responses) {
  for (Response* r : responses) delete r;
  responses.clear();
}

// The images a C-GET brings, written into the folder as the spool writes received instances.
class RetrievingScu : public NodeScu {
 public:
  RetrievingScu(const Caller& from, const Destination& archive, const fs::path& folder)
      : NodeScu(from, archive), spool_(folder) {}
  std::vector<fs::path> files;
  std::string refused;

 private:
  OFCondition handleSTORERequest(const T_ASC_PresentationContextID, DcmDataset* incoming, OFBool& continueSession,
                                 Uint16& status) override {
    const std::unique_ptr<DcmDataset> dataset(incoming);
    continueSession = OFTrue;
    if (!dataset) {
      status = STATUS_STORE_Error_CannotUnderstand;
      return EC_IllegalParameter;
    }
    const StoreOutcome out = spool_.storeInstance(*dataset, elementText(*dataset, DCM_SOPClassUID),
                                                  elementText(*dataset, DCM_SOPInstanceUID));
    status = out.status;
    if (out.stored())
      files.push_back(spool_.studyFolder(out.study) / (out.instance + kInstanceExtension));
    else if (refused.empty())
      refused = out.why;
    return EC_Normal;
  }

  Spool spool_;
};

}  // namespace

FindOutcome findStudies(const Caller& from, const Destination& archive, const StudyQuery& query) {
  FindOutcome out;
  NodeScu scu(from, archive);
  scu.addPresentationContext(UID_FINDStudyRootQueryRetrieveInformationModel, uncompressedSyntaxes());
  if (out.why = scu.connect(); !out.why.empty()) return out;
  DcmDataset keys;
  keys.putAndInsertString(DCM_QueryRetrieveLevel, "STUDY");
  keys.putAndInsertString(DCM_PatientName, query.patientName.c_str());
  keys.putAndInsertString(DCM_PatientID, query.patientId.c_str());
  keys.putAndInsertString(DCM_StudyDate, query.dates.c_str());
  for (const DcmTagKey& returned : {DCM_StudyInstanceUID, DCM_StudyDescription, DCM_ModalitiesInStudy})
    keys.putAndInsertString(returned, "");
  const T_ASC_PresentationContextID id =
      scu.findPresentationContextID(UID_FINDStudyRootQueryRetrieveInformationModel, "");
  OFList<QRResponse*> responses;
  const OFCondition c = id ? scu.sendFINDRequest(id, &keys, &responses) : OFCondition(EC_IllegalCall);
  for (QRResponse* r : responses) {
    if (r->m_dataset == nullptr) continue;
    DcmDataset& d = *r->m_dataset;
    out.studies.push_back({elementText(d, DCM_StudyInstanceUID), elementText(d, DCM_PatientName),
                           elementText(d, DCM_PatientID), elementText(d, DCM_StudyDate),
                           elementText(d, DCM_StudyDescription), elementText(d, DCM_ModalitiesInStudy)});
  }
  freeResponses(responses);
  if (!id)
    out.why = "the archive does not answer queries";
  else if (c.bad())
    out.why = std::string("query: ") + c.text();
  if (out.why.empty())
    scu.releaseAssociation();
  else
    scu.abortAssociation();
  return out;
}

RetrieveOutcome retrieveStudy(const Caller& from, const Destination& archive, const std::string& studyUid,
                              const fs::path& folder) {
  RetrieveOutcome out;
  if (!uidFileName(studyUid)) {
    out.why = "not a study UID: " + studyUid;
    return out;
  }
  RetrievingScu scu(from, archive, folder);
  scu.addPresentationContext(UID_GETStudyRootQueryRetrieveInformationModel, uncompressedSyntaxes());
  // The archive sends the images back on this association: we take the storage role for them.
  scu.addPresentationContext(UID_NuclearMedicineImageStorage, uncompressedSyntaxes(), ASC_SC_ROLE_SCP);
  if (out.why = scu.connect(); !out.why.empty()) return out;
  DcmDataset keys;
  keys.putAndInsertString(DCM_QueryRetrieveLevel, "STUDY");
  keys.putAndInsertString(DCM_StudyInstanceUID, studyUid.c_str());
  const T_ASC_PresentationContextID id =
      scu.findPresentationContextID(UID_GETStudyRootQueryRetrieveInformationModel, "");
  OFList<RetrieveResponse*> responses;
  const OFCondition c = id ? scu.sendCGETRequest(id, &keys, &responses) : OFCondition(EC_IllegalCall);
  Uint16 failed = 0;
  for (RetrieveResponse* r : responses) failed = std::max(failed, r->m_numberOfFailedSubops);
  freeResponses(responses);
  out.files = std::move(scu.files);
  if (!id)
    out.why = "the archive does not give studies back (C-GET)";
  else if (c.bad())
    out.why = std::string("retrieve: ") + c.text();
  else if (!scu.refused.empty())
    out.why = "an image was refused: " + scu.refused;
  // Objects of other kinds (report pictures, structured reports) are declined on purpose.
  else if (out.files.empty())
    out.why = "the archive holds no nuclear medicine image of this study" +
              (failed > 0 ? " (" + std::to_string(failed) + " objects of other kinds)" : std::string());
  if (c.good())
    scu.releaseAssociation();
  else
    scu.abortAssociation();
  return out;
}

}  // namespace quorvel::node
