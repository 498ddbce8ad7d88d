// The DICOM open road on bytes in memory: element walk, header rules, pixel extraction, crop,
// rescale and cycle rotation. The input's size picks the variant (short axis, re-binning).
#include <cstdint>
#include <span>

#include "fuzz_check.h"
#include "study/loading.h"

using namespace quorvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  MemoryFiles files;
  files.add("/fuzz/input.dcm", bytes);
  StudyWorkspace w;
  w.options.short_axis = size & 1;
  w.options.RECH_8 = (size >> 1) & 1;
  TraceLog log;
  Notices notices;
  const Status read = readAcquisition(files, "/fuzz/input.dcm", kFormatDicom, w, log, notices);
  if (!read) {
    FUZZ_REQUIRE(!w.study.loaded());  // a refusal leaves the workspace as it was
    FUZZ_REQUIRE(!read.refusal().fr.empty() && !read.refusal().en.empty());
    return 0;
  }
  // 16-bit values, two instants summed, times a slope of at most 1e4, plus an intercept of 1e6.
  fuzz::checkStudy(w.study, 2 * 65536.0 * 1e4 + 1e6);
  const Study& s = w.study;
  const FileGeometry& g = s.file_geometry;
  // The images the header describes lie inside the input, after the header.
  const uint64_t pixels = uint64_t(g.Ninst) * uint64_t(s.Data_NZ) * uint64_t(g.OrImSize_H) * uint64_t(g.OrImSize_V);
  FUZZ_REQUIRE(s.OFFSET_LEC >= 132 && uint64_t(s.OFFSET_LEC) + 2 * pixels <= size);
  FUZZ_REQUIRE(s.datamax >= 1 && std::isfinite(s.datamax));
  FUZZ_REQUIRE(s.Inst_telesys >= 0 && s.Inst_telesys < s.Ninst);
  FUZZ_REQUIRE(s.coupe >= 0 && s.coupe < s.NCZ);
  return 0;
}
