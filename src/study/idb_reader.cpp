#include "study/idb_reader.h"

#include <cmath>

#include "base/byte_reader.h"
#include "study/study_texts.h"
#include "study/timing.h"

namespace quorvel {

namespace {
constexpr float kMinPixelMm = 0.1f, kMaxPixelMm = 50.0f;
}  // namespace

void BUILD_PATNAME(std::string& name, char c) {
  if (c == ' ' || (c >= 'A' && c <= 'Z')) name += c;
}

Status LOAD_IDB_DATA(const FileSource& files, const std::filesystem::path& path, StudyRecord& s, const Options& opt) {
  const auto size = files.sizeOf(path);
  const auto header = size ? files.read(path, 0, std::min<uint64_t>(*size, kIdbVoxelOffset)) : std::nullopt;
  if (!header) return Refusal::formatted(RefusalCode::UnreadableFile, study_texts::kUnreadableFile, path.string().c_str());
  const ByteReader r(*header);
  const int instants = r.u8(kIdbInstantsOffset).value_or(0);
  // The whole voxel block must be there, not only the 4 or 8 MiB it measures without the header.
  if ((instants != 8 && instants != 16) || *size < idbFileBytes(instants))
    return Refusal::of(RefusalCode::BadIdb, study_texts::kBadIdb);
  const float cycle = *r.f32be(kIdbCycleOffset), pixelMm = *r.f32be(kIdbPixelOffset);
  if (!(pixelMm >= kMinPixelMm && pixelMm <= kMaxPixelMm))
    return Refusal::of(RefusalCode::BadVoxelSize, study_texts::kBadVoxelSize);

  StudyRecord n = s;
  n.IM_FORMAT = kFormatIdb;
  n.Ninst = instants;
  n.Data_NZ = n.NCZ = kIdbSlices;
  n.czmin = 0;
  n.OFFSET_LEC = kIdbVoxelOffset;
  n.OrImSize_H = n.OrImSize_V = kMatrix;
  n.file_geometry = {instants, kIdbSlices, kMatrix, kMatrix};
  n.VOXEL_SIZE_XY = n.VOXEL_SIZE_Z = pixelMm / 10.0f;
  const uint8_t sex = *r.u8(kIdbSexOffset);
  n.pat_sex = sex == 'F' ? 1 : sex == 'M' ? 2 : 0;
  n.PAT_SEX = (sex == 'F' || sex == 'M') ? std::string(1, static_cast<char>(sex)) : std::string();
  n.patient_name.clear();
  for (size_t i = kIdbNameOffset; i < kIdbSexOffset && (*header)[i] != 0; ++i)
    BUILD_PATNAME(n.patient_name, static_cast<char>((*header)[i]));
  n.PAT_NAME = n.patient_name;
  // A duration that gives no plausible rate is asked for, as a DICOM file without one.
  const float rate = 60000.0f / (static_cast<float>(instants) * cycle);
  n.HEART_RATE = std::isfinite(rate) && rate >= kMinHeartRate && rate <= kMaxHeartRate ? 1 : 0;
  n.CARD_FREQ = n.HEART_RATE ? rate : static_cast<float>(opt.DEFAULT_freq);
  n.CARD_FREQ_INT = static_cast<int>(std::trunc(n.CARD_FREQ + 0.5f));
  n.CYCLE = n.HEART_RATE ? cycle : 60000.0f / static_cast<float>(instants * opt.DEFAULT_freq);
  s = std::move(n);
  return {};
}

}  // namespace quorvel
