// The IDB header reader on bytes in memory. The input is the header; its last byte says how long
// the file claims to be (as read, or the size of 8 or of 16 instants: the voxels read as zeros).
#include <cstdint>

#include "fuzz_check.h"
#include "study/idb_reader.h"

using namespace quorvel;

namespace {

const std::filesystem::path kFile = "/fuzz/study.idb";

class HeaderThenZeros final : public FileSource {
 public:
  HeaderThenZeros(std::span<const uint8_t> header, uint64_t size) : header_(header), size_(size) {}
  std::optional<uint64_t> sizeOf(const std::filesystem::path&) const override { return size_; }
  std::optional<std::vector<uint8_t>> read(const std::filesystem::path&, uint64_t offset,
                                           uint64_t count) const override {
    if (offset > size_ || count > size_ - offset) return std::nullopt;
    std::vector<uint8_t> out(count, 0);
    for (uint64_t i = offset; i < offset + count && i < header_.size(); ++i) out[i - offset] = header_[i];
    return out;
  }

 private:
  std::span<const uint8_t> header_;
  uint64_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::span<const uint8_t> header(data, size - 1);
  const int claim = data[size - 1] % 3;
  const uint64_t fileSize = claim == 0 ? header.size() : idbFileBytes(claim == 1 ? 8 : 16);
  const HeaderThenZeros files(header, std::max<uint64_t>(fileSize, header.size()));
  StudyRecord s;
  Options opt;
  const Status read = LOAD_IDB_DATA(files, kFile, s, opt);
  if (!read) {
    FUZZ_REQUIRE(s.IM_FORMAT != kFormatIdb);  // nothing of the refused file was kept
    return 0;
  }
  fuzz::checkRecord(s);
  FUZZ_REQUIRE(s.NCZ == kIdbSlices && s.Data_NZ == kIdbSlices);
  FUZZ_REQUIRE(files.sizeOf(kFile) >= idbFileBytes(s.Ninst));
  for (char c : s.patient_name) FUZZ_REQUIRE(c == ' ' || (c >= 'A' && c <= 'Z'));
  FUZZ_REQUIRE(s.HEART_RATE ? std::fabs(s.CYCLE * s.Ninst * s.CARD_FREQ - 60000) < 1 : s.CARD_FREQ_INT == opt.DEFAULT_freq);
  return 0;
}
