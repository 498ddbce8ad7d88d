// The DICOM report written, then walked by our own reader: whatever raw patient and study fields
// the acquisition brought, the header reaches its pixel data, declares the picture's bytes, keeps
// the study's UID, and written again from what was read back it is the same header.
#include <algorithm>
#include <cstdint>
#include <span>

#include "fuzz_check.h"
#include "study/dicom_reader.h"
#include "study/dicom_writer.h"

using namespace quorvel;

namespace {

// Hands out the input a field at a time: a length byte, then up to that many bytes.
class FieldReader {
 public:
  FieldReader(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
  uint8_t byte() { return p_ < end_ ? *p_++ : 0; }
  template <size_t N>
  size_t fill(std::array<char, N>& dst) {
    const size_t n = std::min<size_t>({byte(), N, static_cast<size_t>(end_ - p_)});
    std::copy(p_, p_ + n, dst.begin());
    p_ += n;
    return n;
  }
  std::string text() {
    const size_t n = std::min<size_t>(byte(), static_cast<size_t>(end_ - p_));
    std::string t(reinterpret_cast<const char*>(p_), n);
    p_ += n;
    return t;
  }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FieldReader in(data, size);
  const int rows = 1 + in.byte() % 32, columns = 1 + in.byte() % 32;
  StudyRecord s;
  s.patname_long = static_cast<int>(in.fill(s.patname));
  in.fill(s.patsex);
  in.fill(s.patbd);
  in.fill(s.patage);
  in.fill(s.patid);
  in.fill(s.hdate);
  in.fill(s.htime);
  in.fill(s.studyuid);
  s.studyInstanceUid = in.text();

  SecondaryCaptureIds ids = newSecondaryCaptureIds(s);
  ids.date = "20261207";
  ids.time = "120000";
  const std::vector<uint8_t> header = CREATE_DCM_HEADER(s, rows, columns, ids);
  const uint64_t pixels = static_cast<uint64_t>(rows) * columns * 3;
  std::vector<uint8_t> file = header;
  file.resize(header.size() + pixels, 0x5A);

  StudyRecord back;
  Options opt;
  DicomWalkNotes notes;
  TraceLog log;
  const DicomRefusal why = GET_DICOM_INFO(std::span<const uint8_t>(file), file.size(), back, opt, notes, log);
  // A picture carries no voxel size: only that acquisition rule may refuse it, never its syntax.
  FUZZ_REQUIRE(why == DicomRefusal::BadVoxelSize);
  FUZZ_REQUIRE(header.size() % 2 == 0);
  FUZZ_REQUIRE(notes.pixelLength == pixels);
  FUZZ_REQUIRE(back.studyInstanceUid == ids.studyInstanceUid);
  FUZZ_REQUIRE(CREATE_DCM_HEADER(back, rows, columns, ids) == header);
  return 0;
}
