#include "node/image_header.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>

#include <cstdlib>

namespace quorvel::node {

namespace {

constexpr Uint32 kHeaderReadLimit = 4096;  // longer values (the pixels) stay on disk

std::string stringOf(DcmItem& d, const DcmTagKey& tag) {
  OFString v;
  return d.findAndGetOFString(tag, v).good() ? std::string(v.c_str()) : std::string();
}

}  // namespace

ImageHeader readImageHeader(const std::filesystem::path& file) {
  ImageHeader h;
  DcmFileFormat f;
  if (f.loadFile(file.c_str(), EXS_Unknown, EGL_noChange, kHeaderReadLimit).bad()) return h;
  DcmDataset& d = *f.getDataset();
  h.patientName = stringOf(d, DCM_PatientName);
  h.patientId = stringOf(d, DCM_PatientID);
  h.birthDate = stringOf(d, DCM_PatientBirthDate);
  h.sex = stringOf(d, DCM_PatientSex);
  h.studyUid = stringOf(d, DCM_StudyInstanceUID);
  h.studyDate = stringOf(d, DCM_StudyDate);
  h.studyTime = stringOf(d, DCM_StudyTime);
  h.studyId = stringOf(d, DCM_StudyID);
  h.accession = stringOf(d, DCM_AccessionNumber);
  h.referringPhysician = stringOf(d, DCM_ReferringPhysicianName);
  h.seriesUid = stringOf(d, DCM_SeriesInstanceUID);
  h.sopClassUid = stringOf(d, DCM_SOPClassUID);
  h.sopInstanceUid = stringOf(d, DCM_SOPInstanceUID);
  h.frames = std::atol(stringOf(d, DCM_NumberOfFrames).c_str());
  h.read = true;
  return h;
}

}  // namespace quorvel::node
