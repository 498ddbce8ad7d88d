#pragma once
// Asking the archive: which studies it holds for a patient or a date (C-FIND at study level), and
// bringing one study's nuclear medicine images over (C-GET on the same association), each image
// checked and written as the node's spool writes what it receives.
#include <filesystem>
#include <string>
#include <vector>

#include "node/forwarding.h"

namespace quorvel::node {

struct ArchiveStudy {
  std::string studyUid, patientName, patientId, studyDate, description, modalities;
};

struct StudyQuery {
  std::string patientName;  // DICOM wildcards allowed: DOE*
  std::string patientId;
  std::string dates;  // YYYYMMDD, or a range YYYYMMDD-YYYYMMDD (either end may be empty)
};

struct FindOutcome {
  std::vector<ArchiveStudy> studies;
  std::string why;  // empty when the archive answered
};
FindOutcome findStudies(const Caller& from, const Destination& archive, const StudyQuery& query);

struct RetrieveOutcome {
  std::vector<std::filesystem::path> files;  // under folder/<study UID>/
  std::string why;                           // empty when every image came
};
RetrieveOutcome retrieveStudy(const Caller& from, const Destination& archive, const std::string& studyUid,
                              const std::filesystem::path& folder);

}  // namespace quorvel::node
