#pragma once
// What the node reads of a received or written DICOM file: its header only, the pixels left on disk.
#include <filesystem>
#include <string>

namespace quorvel::node {

struct ImageHeader {
  std::string patientName, patientId, birthDate, sex;
  std::string studyUid, studyDate, studyTime, studyId, accession, referringPhysician;
  std::string seriesUid, sopClassUid, sopInstanceUid;
  long frames = 0;
  bool read = false;  // false: not a DICOM file it could read
};

ImageHeader readImageHeader(const std::filesystem::path& file);

}  // namespace quorvel::node
