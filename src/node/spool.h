#pragma once
// The node's spool: every received instance in a folder per study, written under a temporary name
// and renamed into place, so that a study on disk never holds half an instance. A study is ready
// once no instance has arrived for a quiet time and its instances differ from those last analysed;
// all of this lives on disk, so a restarted node resumes where it stopped.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

class DcmDataset;

namespace quorvel::node {

inline constexpr char kNmImageStorage[] = "1.2.840.10008.5.1.4.1.1.20";
inline constexpr char kInstanceExtension[] = ".dcm";
inline constexpr char kAnalysedList[] = "analysed.txt";
inline constexpr uintmax_t kDefaultMinFreeSpoolMb = 64;  // below this a new instance is refused

// What became of one instance: its DIMSE status (0 stored) and why, for the log.
struct StoreOutcome {
  uint16_t status = 0;
  std::string study, instance;  // sanitised UIDs (empty when refused before they were read)
  std::string why;              // empty when stored
  bool stored() const { return status == 0; }
};

struct ReadyStudy {
  std::string study;                   // its folder name (sanitised study UID)
  std::vector<std::string> instances;  // its instances' file names, sorted
};

class Spool {
 public:
  explicit Spool(std::filesystem::path root, uintmax_t minFreeMb = kDefaultMinFreeSpoolMb);

  const std::filesystem::path& root() const { return root_; }

  // Removes what a stopped node left half written.
  void removeUnfinishedWrites();

  // Checks and writes one received instance (its command's SOP class and instance UIDs beside it).
  StoreOutcome storeInstance(DcmDataset& dataset, const std::string& sopClass, const std::string& sopInstance);

  // Studies whose newest instance is older than quiet and whose instances are not those last
  // analysed.
  std::vector<ReadyStudy> readyStudies(std::chrono::seconds quiet) const;

  // Records that these instances of the study were analysed.
  bool markAnalysed(const ReadyStudy& s) const;

  std::filesystem::path studyFolder(const std::string& study) const { return root_ / study; }

 private:
  std::filesystem::path root_;
  uintmax_t minFreeBytes_;
  std::mutex counterMutex_;
  uint64_t counter_ = 0;  // makes temporary names unique between threads
};

}  // namespace quorvel::node
