#include "node/image_header.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>

#include <cstdlib>

#include "node/dicom_net.h"

namespace quorvel::node {

namespace {

constexpr Uint32 kHeaderReadLimit = 4096;  // longer values (the pixels) stay on disk

}  // namespace

ImageHeader readImageHeader(const std::filesystem::path& file) {
  ImageHeader h;
  DcmFileFormat f;
  if (f.loadFile(file.c_str(), EXS_Unknown, EGL_noChange, kHeaderReadLimit).bad()) return h;
  DcmDataset& d = *f.getDataset();
  h.patientName = elementText(d, DCM_PatientName);
  h.patientId = elementText(d, DCM_PatientID);
  h.birthDate = elementText(d, DCM_PatientBirthDate);
  h.sex = elementText(d, DCM_PatientSex);
  h.studyUid = elementText(d, DCM_StudyInstanceUID);
  h.studyDate = elementText(d, DCM_StudyDate);
  h.studyTime = elementText(d, DCM_StudyTime);
  h.studyId = elementText(d, DCM_StudyID);
  h.accession = elementText(d, DCM_AccessionNumber);
  h.referringPhysician = elementText(d, DCM_ReferringPhysicianName);
  h.seriesUid = elementText(d, DCM_SeriesInstanceUID);
  h.sopClassUid = elementText(d, DCM_SOPClassUID);
  h.sopInstanceUid = elementText(d, DCM_SOPInstanceUID);
  h.frames = std::atol(elementText(d, DCM_NumberOfFrames).c_str());
  h.read = true;
  return h;
}

}  // namespace quorvel::node
