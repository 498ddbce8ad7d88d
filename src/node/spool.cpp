#include "node/spool.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmnet/dimse.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <set>

#include "base/byte_reader.h"
#include "node/dicom_net.h"
#include "node/uid_names.h"

namespace quorvel::node {

namespace fs = std::filesystem;

namespace {

constexpr char kPartMark[] = ".part-";

// The file's bytes and its name in the folder on the disk before anyone reads them.
bool syncToDisk(const fs::path& p, int flags) {
  const int fd = ::open(p.c_str(), flags);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

std::set<std::string> analysedInstances(const fs::path& folder) {
  std::set<std::string> names;
  std::ifstream in(folder / kAnalysedList);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) names.insert(line);
  return names;
}

}  // namespace

Spool::Spool(fs::path root, uintmax_t minFreeMb) : root_(std::move(root)), minFreeBytes_(minFreeMb << 20) {
  std::error_code ec;
  fs::create_directories(root_, ec);
}

void Spool::removeUnfinishedWrites() {
  std::error_code ec;
  for (const auto& study : fs::directory_iterator(root_, ec))
    if (study.is_directory(ec))
      for (const auto& f : fs::directory_iterator(study.path(), ec))
        if (f.path().filename().string().find(kPartMark) != std::string::npos) fs::remove(f.path(), ec);
}

StoreOutcome Spool::storeInstance(DcmDataset& dataset, const std::string& sopClass, const std::string& sopInstance) {
  StoreOutcome out;
  if (sopClass != kNmImageStorage) {
    out.status = STATUS_STORE_Refused_SOPClassNotSupported;
    out.why = "not a nuclear medicine image (SOP class " + sopClass + ")";
    return out;
  }
  if (elementText(dataset, DCM_SOPClassUID) != sopClass || elementText(dataset, DCM_SOPInstanceUID) != sopInstance) {
    out.status = STATUS_STORE_Error_DataSetDoesNotMatchSOPClass;
    out.why = "the data set's SOP class or instance UID differs from its command's";
    return out;
  }
  const auto instance = uidFileName(sopInstance);
  const auto study = uidFileName(elementText(dataset, DCM_StudyInstanceUID));
  if (!instance || !study) {
    out.status = STATUS_STORE_Error_CannotUnderstand;
    out.why =
        !instance ? "the SOP instance UID is not a DICOM UID" : "the study instance UID is missing or not a DICOM UID";
    return out;
  }
  out.study = *study;
  out.instance = *instance;
  std::error_code ec;
  const fs::path folder = root_ / *study;
  fs::create_directories(folder, ec);
  const fs::space_info space = fs::space(root_, ec);
  if (ec || space.available < minFreeBytes_) {
    out.status = STATUS_STORE_Refused_OutOfResources;
    out.why = "the spool's disk is full";
    return out;
  }
  uint64_t n;
  {
    std::lock_guard lock(counterMutex_);
    n = ++counter_;
  }
  const fs::path target = folder / (*instance + kInstanceExtension);
  const fs::path part =
      folder / (*instance + kInstanceExtension + kPartMark + std::to_string(::getpid()) + "-" + std::to_string(n));
  DcmFileFormat file(&dataset);
  const OFCondition saved = file.saveFile(part.c_str(), EXS_LittleEndianExplicit, EET_ExplicitLength);
  if (saved.bad() || !syncToDisk(part, O_RDONLY)) {
    fs::remove(part, ec);
    out.status = STATUS_STORE_Refused_OutOfResources;
    out.why = std::string("cannot write the instance: ") + saved.text();
    return out;
  }
  fs::rename(part, target, ec);
  if (ec) {
    fs::remove(part, ec);
    out.status = STATUS_STORE_Refused_OutOfResources;
    out.why = "cannot write the instance: " + ec.message();
    return out;
  }
  syncToDisk(folder, O_RDONLY | O_DIRECTORY);
  return out;
}

std::vector<ReadyStudy> Spool::readyStudies(std::chrono::seconds quiet) const {
  std::vector<ReadyStudy> ready;
  std::error_code ec;
  const auto now = fs::file_time_type::clock::now();
  for (const auto& dir : fs::directory_iterator(root_, ec)) {
    const std::string name = dir.path().filename().string();
    if (!dir.is_directory(ec) || !uidFileName(name)) continue;
    ReadyStudy s{name, {}};
    auto newest = fs::file_time_type::min();  // not {}: the file clock's epoch lies ahead of today
    for (const auto& f : fs::directory_iterator(dir.path(), ec)) {
      const std::string file = f.path().filename().string();
      if (!f.is_regular_file(ec) || f.path().extension() != kInstanceExtension ||
          file.find(kPartMark) != std::string::npos)
        continue;
      s.instances.push_back(file);
      newest = std::max(newest, f.last_write_time(ec));
    }
    if (s.instances.empty() || now - newest < quiet) continue;
    std::sort(s.instances.begin(), s.instances.end());
    const std::set<std::string> done = analysedInstances(dir.path());
    if (std::set<std::string>(s.instances.begin(), s.instances.end()) != done) ready.push_back(std::move(s));
  }
  std::sort(ready.begin(), ready.end(), [](const ReadyStudy& a, const ReadyStudy& b) { return a.study < b.study; });
  return ready;
}

bool Spool::markAnalysed(const ReadyStudy& s) const {
  std::string text;
  for (const auto& i : s.instances) text += i + "\n";
  return writeFileAtomically(studyFolder(s.study) / kAnalysedList, std::string_view(text));
}

}  // namespace quorvel::node
