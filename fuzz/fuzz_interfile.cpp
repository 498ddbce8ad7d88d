// The Interfile reader on a header in memory. Every other file it asks for exists and holds
// 256 KiB of 16-bit values (8 instants of 4 images, 32 instant files of 1 image...), made on
// demand; so the header alone decides the layout that is read.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "study/interfile_reader.h"

using namespace quorvel;

namespace {

constexpr uint64_t kDataBytes = uint64_t(8) * 4 * kSliceVoxels * 2;
const std::filesystem::path kHeader = "/fuzz/study.hdr";

class HeaderAndData final : public FileSource {
 public:
  explicit HeaderAndData(std::span<const uint8_t> header) : header_(header) {}
  std::optional<uint64_t> sizeOf(const std::filesystem::path& p) const override {
    return p == kHeader ? header_.size() : kDataBytes;
  }
  std::optional<std::vector<uint8_t>> read(const std::filesystem::path& p, uint64_t offset,
                                           uint64_t count) const override {
    const uint64_t size = *sizeOf(p);
    if (offset > size || count > size - offset) return std::nullopt;
    if (p == kHeader) {
      ++headerReads;
      return std::vector<uint8_t>(header_.begin() + offset, header_.begin() + offset + count);
    }
    // Byte i holds 1 + (i / 2) % 127: a value of 257 to 32639 whichever the byte order and sign.
    static const std::vector<uint8_t> pattern = [] {
      std::vector<uint8_t> v(kDataBytes);
      for (uint64_t i = 0; i < kDataBytes; ++i) v[i] = static_cast<uint8_t>(1 + (i / 2) % 127);
      return v;
    }();
    return std::vector<uint8_t>(pattern.begin() + offset, pattern.begin() + offset + count);
  }

  mutable int headerReads = 0;  // more than one: the header named itself as a data file

 private:
  std::span<const uint8_t> header_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const HeaderAndData files({data, size});
  Study s;
  Options opt;
  opt.RECH_8 = size & 1;
  const Status read = LOAD_IMG_DATA(files, kHeader, s, opt);
  if (!read) {
    FUZZ_REQUIRE(!s.loaded());
    return 0;
  }
  fuzz::checkStudy(s, 65535);
  FUZZ_REQUIRE(s.OrImSize_H == kMatrix && s.OrImSize_V == kMatrix);
  // Aligned values come from the data files: no zero, nothing larger than the pattern holds.
  const bool aligned = s.OFFSET_LEC % 2 == 0 && files.headerReads == 1;
  for (float v : s.DATA) FUZZ_REQUIRE(!aligned || (v >= 257 && v <= 32639));
  return 0;
}
