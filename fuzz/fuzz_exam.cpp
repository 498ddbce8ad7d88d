// The exam reader, and the save-load-save round trip of what it accepts. An exam is megabytes, so
// the input is a list of changes to a small valid exam (8 instants of 2 slices, a few labels):
// 8-byte records, a 32-bit place then a 32-bit value written there; places 0..2^31 fall in the
// header (modulo its size), 2^31..3*2^30 in the body, above that the file is cut there. An
// input starting with the exam signature is taken as a whole file instead.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "base/byte_reader.h"
#include "exam/exam_file.h"
#include "fuzz_check.h"

using namespace quorvel;

namespace {

constexpr const char* kDate = "01-02-2025";
constexpr size_t kFixedPart = kExamHeaderSize + kExamPathSize;

std::vector<uint8_t> smallExam() {
  auto c = std::make_unique<ExamContent>();
  Study& s = c->study;
  s.Ninst = 8;
  s.NCZ = 2;
  const size_t voxels = static_cast<size_t>(8) * 2 * kSliceVoxels;
  s.DATA.assign(voxels, 0.0f);
  c->seg.LPE.assign(voxels, 0);
  for (size_t i = 0; i < voxels; i += 31) s.DATA[i] = static_cast<float>(i % 500), c->seg.LPE[i] = i % 4;
  c->seg.NREG = 3;
  c->_MENU_ = 2;
  s.patient_name = "DOE^JANE";
  c->vc.G.FES = 61.5f;
  return encodeExam(c->source(), "/fuzz/exam.qvx", kDate);
}

bool signed32(std::span<const uint8_t> b) {
  ByteReader r(b);
  for (int i = 0; i < 4; ++i)
    if (static_cast<int32_t>(r.u32le(static_cast<size_t>(4 * i)).value_or(0)) != kExamSignature[i]) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<uint8_t> reference = smallExam();
  const std::span<const uint8_t> input(data, size);
  std::vector<uint8_t> file;
  if (signed32(input)) {
    file.assign(input.begin(), input.end());
  } else {
    file = reference;
    for (size_t at = 0; at + 8 <= size; at += 8) {
      const uint32_t place = *ByteReader(input).u32le(at), value = *ByteReader(input).u32le(at + 4);
      if (place >= 0xC0000000u) {
        file.resize(file.empty() ? 0 : place % file.size());
        continue;
      }
      size_t to = place < 0x80000000u ? place % kFixedPart : kFixedPart + place % (reference.size() - kFixedPart);
      for (int k = 0; k < 4 && to + k < file.size(); ++k) file[to + k] = static_cast<uint8_t>(value >> (8 * k));
    }
  }

  auto first = std::make_unique<ExamContent>();
  if (!decodeExam(file, *first)) return 0;
  const Study& s = first->study;
  const size_t voxels = static_cast<size_t>(s.Ninst) * s.NCZ * kSliceVoxels;
  FUZZ_REQUIRE((s.Ninst == 8 || s.Ninst == 16) && s.NCZ >= 1 && s.NCZ <= kMaxSlices);
  FUZZ_REQUIRE(s.DATA.size() == voxels && first->seg.LPE.size() == voxels);
  FUZZ_REQUIRE(first->seg.NREG >= 0 && first->seg.NREG <= kMaxLabels);
  for (uint16_t label : first->seg.LPE) FUZZ_REQUIRE(label <= first->seg.NREG);
  FUZZ_REQUIRE(s.patname_long >= 0 && s.patname_long <= kMaxPatientName);
  // Every float the views and the numbers read is a number (a NaN once crashed the 3D view).
  const Model3D& m = first->model;
  for (const std::vector<float>* block :
       {&s.DATA, &m.mesh.MESH, &m.mesh.MESH_nor, &m.mesh.MESH_fej, &m.mesh.MESH_tej, &m.mesh.MESH_per,
        &m.mesh.MESH_pfr, &m.mesh.MESH_tper, &m.mesh.MESH_tpfr, &m.mesh.MESH_tri, &m.mesh.MESHpre_tri,
        &m.maps.MESH_FEJ, &m.maps.MESH_TEJ, &m.eye.mesh_sect_fej, &m.eye.mesh_sect_tej})
    FUZZ_REQUIRE(std::all_of(block->begin(), block->end(), [](float x) { return std::isfinite(x); }));
  const VolumeCurves& vc = first->vc;
  for (float x : {s.datamax, s.datamin, s.CARD_FREQ, s.CYCLE, s.VOXEL_SIZE_XY, s.VOXEL_SIZE_Z, vc.G.FES, vc.D.FES,
                  vc.G.volmax, vc.D.volmax, vc.maxvol})
    FUZZ_REQUIRE(std::isfinite(x));
  for (const auto* curve : {&vc.vidange_G, &vc.vidange_D, &vc.filling_G, &vc.filling_D})
    FUZZ_REQUIRE(std::all_of(curve->begin(), curve->end(), [](float x) { return std::isfinite(x); }));
  FUZZ_REQUIRE(s.patient_name.size() <= kExamPatientSize);

  // What was accepted saves, loads back, and saves to the very same bytes.
  const std::vector<uint8_t> saved = encodeExam(first->source(), first->chemin_save, kDate);
  // Read into the same content every time: what saved holds overwrites all that is saved again,
  // and its arrays are then allocated once.
  static const auto second = std::make_unique<ExamContent>();
  FUZZ_REQUIRE(decodeExam(saved, *second).ok());
  FUZZ_REQUIRE(encodeExam(second->source(), second->chemin_save, kDate) == saved);
  return 0;
}
