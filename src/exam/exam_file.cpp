#include "exam/exam_file.h"

#include <algorithm>
#include <limits>
#include <cerrno>
#include <cmath>
#include <bit>
#include <cstring>
#include <ctime>
#include <fstream>
#include <new>

#include "base/byte_reader.h"
#include "exam/exam_texts.h"

namespace quorvel {

ExamDisplay ExamDisplay::forNewStudy(const Options& opt) {
  ExamDisplay d;
  d.BACK_COLOR = d.BACK_COLOR3D = opt.BK_r | (opt.BK_g << 8) | (opt.BK_b << 16);
  return d;
}

namespace {

namespace off = exam_offsets;

// Bytes a value of T takes in the file: 4 for counts and measures, 2 for labels, 1 for bytes.
template <typename T>
constexpr size_t widthOf() {
  static_assert(sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4);
  return sizeof(T);
}

template <typename T>
void storeLe(uint8_t* dst, const T* src, size_t n) {
  if constexpr (std::endian::native == std::endian::little || sizeof(T) == 1) {
    std::memcpy(dst, src, n * sizeof(T));
  } else {
    for (size_t i = 0; i < n; ++i) {
      std::make_unsigned_t<std::conditional_t<std::is_floating_point_v<T>, int32_t, T>> u;
      std::memcpy(&u, &src[i], sizeof(T));
      for (size_t b = 0; b < sizeof(T); ++b) dst[i * sizeof(T) + b] = static_cast<uint8_t>(u >> (8 * b));
    }
  }
}

template <typename T>
void loadLe(T* dst, const uint8_t* src, size_t n) {
  if constexpr (std::endian::native == std::endian::little || sizeof(T) == 1) {
    std::memcpy(dst, src, n * sizeof(T));
  } else {
    for (size_t i = 0; i < n; ++i) {
      std::make_unsigned_t<std::conditional_t<std::is_floating_point_v<T>, int32_t, T>> u = 0;
      for (size_t b = 0; b < sizeof(T); ++b) u |= static_cast<decltype(u)>(src[i * sizeof(T) + b]) << (8 * b);
      std::memcpy(&dst[i], &u, sizeof(T));
    }
  }
}

// The writing side of the one description of the layout below.
class Writer {
 public:
  static constexpr bool kReading = false;
  explicit Writer(size_t expected) {
    out.reserve(expected);
    out.assign(kExamHeaderSize, 0);  // uncovered header bytes stay zero
  }

  template <typename T>
  void at(size_t offset, const T& v) {
    storeLe(&out[offset], &v, 1);
    noteFinite(&v, 1);
  }
  template <typename T, size_t N>
  void at(size_t offset, const std::array<T, N>& a, size_t n) {
    storeLe(&out[offset], a.data(), std::min(n, N));
    noteFinite(a.data(), std::min(n, N));
  }
  void text(size_t offset, const std::string& s, size_t n) {
    std::memcpy(&out[offset], s.data(), std::min(s.size(), n));
  }
  template <typename T>
  void seq(const T* p, size_t n) {
    if (n == 0) return;
    const size_t at = out.size();
    out.resize(at + n * widthOf<T>());
    storeLe(&out[at], p, n);
    noteFinite(p, n);
  }
  template <typename T, size_t N>
  void seq(const std::array<T, N>& a) {
    seq(a.data(), N);
  }
  // n values from index from of v; zeros where v does not reach (a part never computed).
  template <typename T>
  void vec(const std::vector<T>& v, size_t from, size_t n, size_t /*capacity*/) {
    const size_t have = from < v.size() ? std::min(n, v.size() - from) : 0;
    if (have) seq(v.data() + from, have);
    zeros((n - have) * widthOf<T>());
  }
  // Bytes held in memory one per value, stored as 4-byte values.
  void bytesAsWords(const std::vector<uint8_t>& v, size_t from, size_t n, size_t /*capacity*/) {
    for (size_t i = 0; i < n; ++i) {
      const int32_t w = from + i < v.size() ? v[from + i] : 0;
      seq(&w, 1);
    }
  }
  template <size_t N>
  void chars(const std::array<char, N>& a, size_t n) {
    const size_t at = out.size();
    out.resize(at + n, 0);
    std::memcpy(&out[at], a.data(), std::min(n, N));
  }
  void zeros(size_t bytes) { out.resize(out.size() + bytes, 0); }
  bool ok() const { return true; }

  std::vector<uint8_t> out;
  bool finite = true;  // every float written is a number (the reader refuses any other)

 private:
  template <typename T>
  void noteFinite(const T* p, size_t n) {
    if constexpr (std::is_floating_point_v<T>)
      finite = finite && std::all_of(p, p + n, [](T x) { return std::isfinite(x); });
  }
};

// The reading side: every read is checked against the file's size; the first one outside it
// marks the reader failed and the rest read nothing.
class Reader {
 public:
  static constexpr bool kReading = true;
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes), pos_(kExamHeaderSize) {}

  template <typename T>
  void at(size_t offset, T& v) {
    if (!has(offset, sizeof(T))) return;
    loadLe(&v, &bytes_[offset], 1);
    checkFinite(&v, 1);
  }
  template <typename T, size_t N>
  void at(size_t offset, std::array<T, N>& a, size_t n) {
    if (!has(offset, n * sizeof(T))) return;
    loadLe(a.data(), &bytes_[offset], std::min(n, N));
    checkFinite(a.data(), std::min(n, N));
  }
  void text(size_t offset, std::string& s, size_t n) {
    if (!has(offset, n)) return;
    const auto* p = reinterpret_cast<const char*>(&bytes_[offset]);
    s.assign(p, std::find(p, p + n, '\0'));
  }
  template <typename T>
  void seq(T* p, size_t n) {
    if (n == 0 || !take(n * widthOf<T>())) return;
    loadLe(p, &bytes_[pos_ - n * widthOf<T>()], n);
    checkFinite(p, n);
  }
  template <typename T, size_t N>
  void seq(std::array<T, N>& a) {
    seq(a.data(), N);
  }
  // Allocates v to its capacity once the file is known to hold the n values.
  template <typename T>
  void vec(std::vector<T>& v, size_t from, size_t n, size_t capacity) {
    if (!has(pos_, n * widthOf<T>())) return;
    if (v.size() < capacity) v.assign(capacity, T{});
    seq(v.data() + from, n);
  }
  void bytesAsWords(std::vector<uint8_t>& v, size_t from, size_t n, size_t capacity) {
    if (!has(pos_, n * 4)) return;
    if (v.size() < capacity) v.assign(capacity, 0);
    for (size_t i = 0; i < n; ++i) {
      int32_t w = 0;
      seq(&w, 1);
      if (w < 0 || w > 255) ok_ = false;
      v[from + i] = static_cast<uint8_t>(w);
    }
  }
  template <size_t N>
  void chars(std::array<char, N>& a, size_t n) {
    if (!take(n)) return;
    a.fill(0);
    std::memcpy(a.data(), &bytes_[pos_ - n], std::min(n, N));
  }
  void zeros(size_t bytes) { take(bytes); }
  bool ok() const { return ok_; }
  void refuse() { ok_ = false; }
  size_t position() const { return pos_; }
  size_t size() const { return bytes_.size(); }

 private:
  bool has(size_t offset, size_t count) {
    ok_ = ok_ && offset <= bytes_.size() && count <= bytes_.size() - offset;
    return ok_;
  }
  bool take(size_t count) {
    if (!has(pos_, count)) return false;
    pos_ += count;
    return true;
  }
  // Every float block of an exam holds numbers: a NaN or an infinity is a damaged file.
  template <typename T>
  void checkFinite(const T* p, size_t n) {
    if constexpr (std::is_floating_point_v<T>)
      ok_ = ok_ && std::all_of(p, p + n, [](T x) { return std::isfinite(x); });
  }

  std::span<const uint8_t> bytes_;
  size_t pos_;
  bool ok_ = true;
};

// The layout as the reader found it (the writer always writes the newest).
struct Layout {
  int version = kExamVersion;
  bool marker = true;
  bool fitSettings = true;  // the iteration counts of methods 1 and 3 are stored
  bool identity = true;     // the acquisition's identifiers are stored whole
};

// Validation of what was just read; a no-op for the writer.
template <typename Io>
bool accept(Io& io, bool condition) {
  if constexpr (Io::kReading) {
    if (!condition) io.refuse();
  }
  return io.ok();
}

// The header fields that are restored, at their offsets.
template <typename Io, bool C>
bool visitHeader(Io& io, ExamPartsT<C>& p, const Layout& layout) {
  auto& s = p.study;
  auto& flow = p.settings.flow;
  auto& r = p.settings.reorient;
  auto& lim = p.settings.limits;
  auto& opt = p.options;
  auto& vc = p.vc;
  auto& set = p.model3d.model3d;
  auto& view = p.model3d.view3d;
  auto& m = p.model;
  auto& d = p.display;

  io.at(36, s.IM_FORMAT);
  io.at(40, p._MENU_);
  io.at(off::kNinst, s.Ninst);
  io.at(off::kNCZ, s.NCZ);
  if (!accept(io, (s.Ninst == 8 || s.Ninst == 16) && s.NCZ >= 1 && s.NCZ <= kMaxSlices)) return false;
  io.at(52, flow.timer_base);
  io.at(56, s.instant);
  io.at(off::kECH, opt.ECH);
  io.at(off::kTT, opt.TT_);
  io.at(off::kTZ, opt.TZ_);
  io.at(off::kTX, opt.TX_);
  io.at(76, r.valves_planaff);
  io.at(80, d.NcellH);
  io.at(84, d.NcellV);
  io.at(88, d.htayaff);
  io.at(92, d.vtayaff);
  io.at(96, s.datamin);
  io.at(100, s.datamax);
  io.at(104, flow.vidange_done);
  io.at(108, s.CARD_FREQ);
  io.at(off::kNREG, p.seg.NREG);
  io.at(116, flow.SEG_sel);
  io.at(120, vc.maxvol);
  io.at(124, vc.filling_ampl);
  io.at(128, vc.G.volmax);
  io.at(132, vc.G.volmin);
  io.at(136, vc.D.volmax);
  io.at(140, vc.D.volmin);
  io.at(144, vc.G.FES);
  io.at(148, vc.G.VES);
  io.at(152, vc.D.FES);
  io.at(156, vc.D.VES);
  io.at(160, vc.G.debit);
  io.at(164, vc.D.debit);
  io.at(168, vc.G.PFR);
  io.at(172, vc.G.TPFR);
  io.at(176, vc.D.PFR);
  io.at(180, vc.D.TPFR);
  io.at(184, vc.G.PER);
  io.at(188, vc.G.TPER);
  io.at(192, vc.D.PER);
  io.at(196, vc.D.TPER);
  io.at(200, vc.G.TFS);
  io.at(204, vc.D.TFS);
  const size_t Ninst = static_cast<size_t>(s.Ninst);
  io.at(off::kLimGInf, lim.limG_inf, Ninst);
  io.at(off::kLimGSup, lim.limG_sup, Ninst);
  io.at(off::kLimDInf, lim.limD_inf, Ninst);
  io.at(off::kLimDSup, lim.limD_sup, Ninst);
  io.at(480, flow.build_visu);
  io.at(484, r.valves_plano_);
  io.at(488, r.septum_plano);
  io.at(492, view.visu_no);
  io.at(496, view.visu_type, 2);
  io.at(504, view.visu_coord);
  io.at(508, view.visu_coordz);
  io.at(512, view.visu_rendu);
  io.at(516, flow.timer_base2);
  // The axes of the first four 3D panes, one component per table.
  for (int i = 0; i < 4; ++i) {
    auto& v = view.views[i];
    const size_t o = static_cast<size_t>(4 * i);
    for (int k = 0; k < 3; ++k) {
      io.at(520 + 16 * k + o, v.axis1[k]);
      io.at(568 + 16 * k + o, v.axis2[k]);
      io.at(616 + 16 * k + o, v.axis3[k]);
    }
  }
  if (layout.version > kExamVersionEquilibrium) {
    io.at(off::kEquilibrium, opt.equilibrium);
    io.at(off::kDispSeuil, flow.disp_seuil);
  } else if constexpr (Io::kReading) {
    opt.equilibrium = 1;
    flow.disp_seuil = 0;
  }
  for (int i = 0; i < 4; ++i) {
    const size_t o = static_cast<size_t>(4 * i);
    auto& v = view.views[i];
    io.at(800 + o, v.visu_view);
    io.at(816 + o, d.visu_GD[i]);
    io.at(832 + o, v.visu_axes);
    io.at(848 + o, v.visu_Pvue);
    io.at(864 + o, d.visu_nvue[i]);
    io.at(880 + o, d.visu_dvue[i]);
    io.at(896 + o, v.visu_scale);
    io.at(912 + o, d.visu_atria[i]);
    io.at(928 + o, v.visu_center);
    io.at(944 + o, v.visu_skel);
    io.at(1320 + o, d.mesh_rendu[i]);
    io.at(1336 + o, v.mesh_vent);
  }
  io.at(960, d.visu_flow, 2);
  io.at(1000, opt.visu_LUM);
  io.at(1004, opt.visu_CONT);
  io.at(1008, d.visu_TEXT);
  io.at(1012, opt.visu_SPOT);
  io.at(1016, view.visu_nrand);
  io.at(1020, set.SKEL_OK[0]);
  io.at(off::kSeuillage, s.seuillage);
  io.at(1028, opt.visu_LUM3D);
  io.at(1032, opt.visu_CONT3D);
  io.at(1036, opt.mesh_Pdiv);
  io.at(1040, p.settings.curves.TACFIT_switch);
  io.at(1044, p.fitSettings.CMH_DEG);
  if (layout.fitSettings) {
    io.at(off::kFitIterations, p.fitSettings.TACFIT_ITER);
    io.at(off::kFitPolyIterations, p.fitSettings.TACFIT_ITmax);
    if constexpr (Io::kReading) {  // a count no user reaches is not taken (the session's stays)
      for (int* count : {&p.fitSettings.TACFIT_ITER, &p.fitSettings.TACFIT_ITmax})
        if (*count < 0 || *count > kMaxStoredIterations) *count = -1;
    }
  }
  io.at(1048, view.visu_coordv);
  io.at(1052, view.visu_plane[0]);
  io.at(1056, set.rendu3D);
  io.at(1060, opt.visu_interp);
  io.at(1064, opt.visu_arete[0]);
  io.at(1068, opt.visu_arete[1]);
  io.at(1072, opt.visu_nu);
  io.at(1080, view.visu_echelle, 4);
  io.at(1100, opt.param_LUM);
  io.at(1104, opt.param_CONT);
  io.at(1108, opt.skel_fin);
  io.at(1112, opt.SECT_25);
  io.at(1116, opt.Vplane_Size);
  io.at(1120, opt.Vplane_Gap);
  io.at(1124, m.maps.PER_corr);
  io.at(1128, m.maps.PFR_corr);
  io.at(1132, s.pat_sex);
  io.at(1200, s.VOXEL_SIZE_XY);
  io.at(1204, s.VOXEL_SIZE_Z);
  io.at(1208, s.CYCLE);
  io.at(1212, opt.palette);
  io.at(1216, opt.gamma_);
  io.at(1220, opt.palette3D);
  io.at(1224, d.gamma_3D);
  io.at(1228, opt.pal3D);
  io.at(1232, d.BACK_COLOR);
  io.at(1236, d.BACK_COLOR3D);
  io.at(1240, opt.VLA_proj);
  io.at(1244, s.Inst_telesys);
  io.at(1248, s.seg_affmin);
  io.at(1280, set.mesh_double);
  io.at(1284, set.mesh_Hsect);
  io.at(1288, set.mesh_sect_grad);
  io.at(1292, m.mesh.mesh_samA);
  io.at(1296, m.mesh.mesh_samR);
  io.at(1300, opt.mesh_samP);
  io.at(1304, opt.mesh_itpre);
  io.at(1308, set.mesh_visu);
  io.at(1352, set.mesh_curve);
  io.at(1356, set.mesh_param);
  io.at(1360, flow.Previsu_OK);
  io.at(1364, s.mesh_ngradpas);
  io.at(1368, s.mesh_ngradmax);
  io.at(1372, m.eye.inst_depol_min);
  io.at(1376, m.eye.inst_depol_max);
  io.at(1380, m.mesh.Nmeshtri);
  io.at(1400, m.skel.NPTS, 4);
  io.at(1416, m.maps.MC_v, 2);
  // The picked points' triangles, plus one: without them a reopened exam drew its picked curves on
  // triangle 0. An earlier file's 0 reads as no triangle (no curve) and is written back as 0.
  std::array<int, 2> pickedPlusOne{};
  for (size_t k = 0; k < 2; ++k) {
    const int triangle = m.maps.MC_ar[k];
    pickedPlusOne[k] = triangle >= 0 && triangle < std::numeric_limits<int>::max() ? triangle + 1 : 0;
  }
  io.at(off::kPickedTriangles, pickedPlusOne, 2);
  if constexpr (Io::kReading)
    for (size_t k = 0; k < 2; ++k) m.maps.MC_ar[k] = pickedPlusOne[k] > 0 ? pickedPlusOne[k] - 1 : -1;
  io.at(1440, s.CARD_FREQ_INT);
  io.at(1448, p.seg.struct_max, kStructMaxEntries);

  // Validation records (kept so that a re-saved exam still serves as a template).
  auto& rec = r.records;
  if (layout.marker) {
    io.at(off::kNList, rec.N_list);
    io.at(off::kListRotation, rec.list_rotation, kMaxValidationRecords);
    io.at(off::kListValveAngle, rec.list_valve_angle, kMaxValidationRecords);
    io.at(off::kListRecadX, rec.list_recad_x, kMaxValidationRecords);
    io.at(off::kListRecadY, rec.list_recad_y, kMaxValidationRecords);
    io.at(off::kListRecadT, rec.list_recad_t, kMaxValidationRecords);
    io.at(off::kListFichAxis, rec.list_fich_axis, kMaxValidationRecords);
    io.text(off::kPatientName, s.patient_name, kExamPatientSize);
  } else {
    io.text(off::kListRotation, s.patient_name, kExamPatientSize);
  }
  if (layout.identity) {
    io.text(off::kStudyInstanceUid, s.studyInstanceUid, kDicomUidMax);
    io.text(off::kDicomPatientName, s.dicomPatientName, kDicomPersonNameMax);
    io.text(off::kDicomPatientId, s.dicomPatientId, kDicomLongStringMax);
  }
  io.text(off::kComment2, flow.comment2, kExamTextSize);
  io.text(off::kComment, flow.comment, kExamTextSize);

  // What the body's sizes and the later stages index with.
  auto limitsInside = [&](const InstantTable& t) {
    return std::all_of(t.begin(), t.begin() + s.Ninst, [&](int z) { return z >= 0 && z < s.NCZ; });
  };
  const int stage = p._MENU_;
  return accept(io, p.seg.NREG >= 0 && p.seg.NREG <= kMaxLabels && s.instant >= 0 && s.instant < s.Ninst &&
                        limitsInside(lim.limG_inf) && limitsInside(lim.limG_sup) && limitsInside(lim.limD_inf) &&
                        limitsInside(lim.limD_sup) && r.valves_plano_ >= 0 && r.valves_plano_ < kMatrix &&
                        r.septum_plano >= 0 && r.septum_plano < kMatrix && m.mesh.mesh_samA >= 0 &&
                        m.mesh.mesh_samA <= kMeshSize && m.mesh.mesh_samR >= 0 && m.mesh.mesh_samR <= kMeshSize &&
                        opt.mesh_samP >= 0 && opt.mesh_samP <= kPreviewMax && m.mesh.Nmeshtri >= 0 &&
                        m.mesh.Nmeshtri <= 2 * kMeshSize * kMeshSize && rec.N_list >= 0 &&
                        rec.N_list <= kMaxValidationRecords && p.settings.curves.TACFIT_switch >= 0 &&
                        p.settings.curves.TACFIT_switch <= 5 &&
                        (stage == 1 || stage == 2 || stage == 3 || stage == 4 || stage == 22));
}

// The packed body after the saved path, in its order.
template <typename Io, bool C>
bool visitBody(Io& io, ExamPartsT<C>& p) {
  auto& s = p.study;
  auto& seg = p.seg;
  auto& vc = p.vc;
  auto& m = p.model;
  auto& sk = m.skel;
  auto& mesh = m.mesh;
  auto& maps = m.maps;
  auto& eye = m.eye;
  auto& set = p.model3d.model3d;
  auto& d = p.display;
  const int Ninst = s.Ninst, NCZ = s.NCZ;
  const size_t voxels = static_cast<size_t>(Ninst) * NCZ * kSliceVoxels;

  io.vec(s.DATA, 0, voxels, voxels);
  io.vec(seg.LPE, 0, voxels, voxels);
  if constexpr (Io::kReading) {
    if (!io.ok()) return false;
    const uint16_t top = *std::max_element(seg.LPE.begin(), seg.LPE.end());
    if (!accept(io, top <= seg.NREG)) return false;
  }
  io.seq(seg.CORR);
  io.seq(seg.CARD);
  if (!accept(io, std::all_of(seg.CORR.begin(), seg.CORR.end(),
                              [](int c) { return c >= 0 && c < kStructMaxEntries; })))
    return false;
  io.seq(vc.volG);
  io.seq(vc.volD);
  io.seq(vc.vidange_G);
  io.seq(vc.vidange_D);
  io.seq(vc.filling_G);
  io.seq(vc.filling_D);
  for (auto* a : {&sk.BC_X, &sk.BC_Y, &sk.BC_Z, &sk.MIN_X, &sk.MAX_X, &sk.MIN_Y, &sk.MAX_Y, &sk.MIN_Z, &sk.MAX_Z})
    io.seq(*a);
  for (auto* a : {&mesh.MIN_mX, &mesh.MAX_mX, &mesh.MIN_mY, &mesh.MAX_mY, &mesh.MIN_mZ, &mesh.MAX_mZ}) {
    io.seq(*a);
    io.zeros(2 * sizeof(float));  // four values in the file, two kept
  }
  io.vec(sk.BORD, 0, voxels, voxels);

  // The triangle lists: their counts first, then the lists they size.
  for (int v = 0; v < 3; ++v)
    for (int t = 0; t < Ninst; ++t) {
      io.seq(&set.Ntriangle[v][t], 1);
      if (!accept(io, set.Ntriangle[v][t] >= 0 && set.Ntriangle[v][t] <= kMaxSurfaceTriangles)) return false;
    }
  for (auto* list : {&d.Normale, &d.Triangle}) {
    const size_t per = list == &d.Normale ? 3 : 9;
    for (int v = 0; v < 3; ++v)
      for (int t = 0; t < Ninst; ++t) {
        const size_t n = per * set.Ntriangle[v][t];
        io.vec((*list)[v][t], 0, n, n);
      }
  }

  for (auto* a : {&sk.apexX, &sk.apexY, &sk.apexZ, &sk.Sx0, &sk.Sx1, &sk.Sx2, &sk.Sx3, &sk.Sx4, &sk.Sy0, &sk.Sy1,
                  &sk.Sy2, &sk.Sy3, &sk.Sy4, &sk.Sz0, &sk.Sz1, &sk.Sz2, &sk.Sz3, &sk.Sz4, &sk.dsx1, &sk.dsy1, &sk.dsz1,
                  &sk.dsx2, &sk.dsy2, &sk.dsz2, &sk.dsx3, &sk.dsy3, &sk.dsz3, &sk.bcx, &sk.bcy, &sk.bcz})
    for (auto& row : *a) io.seq(row);

  constexpr size_t kEye = static_cast<size_t>(kBullseye) * kBullseye;
  io.vec(eye.mesh_sect, 0, kEye, kEye);
  io.vec(eye.mesh_sect_bord, 0, kEye, kEye);
  io.vec(eye.mesh_sect_pond, 0, kEye, kEye);
  io.seq(eye.mesh_smoy_pond);
  for (auto* a : {&maps.mesh_fej_mean, &maps.mesh_fej_std, &maps.mesh_tej_mean, &maps.mesh_tej_std,
                  &maps.mesh_per_mean, &maps.mesh_per_std, &maps.mesh_pfr_mean, &maps.mesh_pfr_std,
                  &maps.mesh_tper_mean, &maps.mesh_tper_std, &maps.mesh_tpfr_mean, &maps.mesh_tpfr_std})
    io.seq(*a);

  const int A = mesh.mesh_samA, R = mesh.mesh_samR, P = p.options.mesh_samP;
  const size_t n = static_cast<size_t>(mesh.Nmeshtri);
  constexpr size_t kNodes = static_cast<size_t>(2) * kMaxInstants * kMeshSize * kMeshSize;
  constexpr size_t kPreNodes = static_cast<size_t>(2) * kMaxInstants * kPreviewMax * kPreviewMax;
  constexpr size_t kMap = static_cast<size_t>(2) * kMeshSize * kMeshSize;
  for (int v = 0; v < 2; ++v) {
    const size_t image = static_cast<size_t>(v) * kEye;
    io.seq(maps.histo_fej[v]);
    io.seq(maps.histo_tej[v]);
    io.seq(eye.mesh_smoy_fej[v]);
    io.seq(eye.mesh_smoy_tej[v]);
    io.vec(eye.mesh_sect_fej, image, kEye, 2 * kEye);
    io.vec(eye.mesh_sect_tej, image, kEye, 2 * kEye);
    for (auto* h : {&maps.histo_per, &maps.histo_pfr, &maps.histo_tper, &maps.histo_tpfr}) io.seq((*h)[v]);
    for (auto* a : {&eye.mesh_smoy_per, &eye.mesh_smoy_pfr, &eye.mesh_smoy_tper, &eye.mesh_smoy_tpfr}) io.seq((*a)[v]);
    for (auto* a : {&eye.mesh_sect_per, &eye.mesh_sect_pfr, &eye.mesh_sect_tper, &eye.mesh_sect_tpfr})
      io.vec(*a, image, kEye, 2 * kEye);
    // The maps over the (ring, angle) grid actually sampled, ring by ring.
    for (auto* a : {&maps.MESH_FEJ, &maps.MESH_TEJ, &maps.MESH_PER, &maps.MESH_PFR, &maps.MESH_TPER, &maps.MESH_TPFR})
      for (int ring = 0; ring < A; ++ring) io.vec(*a, RegionalMaps::at(v, ring, 0), R, kMap);
    for (auto* a : {&mesh.MESH_fej, &mesh.MESH_tej, &mesh.MESH_per, &mesh.MESH_pfr, &mesh.MESH_tper, &mesh.MESH_tpfr})
      io.vec(*a, static_cast<size_t>(v) * n * 3, 3 * n, 2 * n * 3);
    for (int t = 0; t < Ninst; ++t) {
      const size_t node = MeshModel::node(v, t, 0, 0);
      io.vec(mesh.MESH, 3 * node, 3 * kMeshSize * kMeshSize, 3 * kNodes);
      io.vec(mesh.MESH_CTR, 3 * MeshModel::ring(v, t, 0), 3 * kMeshSize, 3 * kNodes / kMeshSize);
      io.vec(mesh.MESH_DIR, 3 * node, 3 * kMeshSize * kMeshSize, 3 * kNodes);
      for (auto* a : {&mesh.MESH_DIS, &mesh.MESH_ACT, &mesh.MESH_act}) io.vec(*a, node, kMeshSize * kMeshSize, kNodes);
      for (int ring = 0; ring < P; ++ring)
        io.vec(mesh.MESHpre, 3 * MeshModel::preNode(v, t, ring, 0), 3 * P, 3 * kPreNodes);
      io.vec(mesh.MESHpre_CTR, 3 * MeshModel::preRing(v, t, 0), 3 * P, 3 * kPreNodes / kPreviewMax);
      for (int ring = 0; ring < P; ++ring)
        io.vec(mesh.MESHpre_DIR, 3 * MeshModel::preNode(v, t, ring, 0), 3 * P, 3 * kPreNodes);
      for (int ring = 0; ring < P; ++ring) io.vec(mesh.MESHpre_DIS, MeshModel::preNode(v, t, ring, 0), P, kPreNodes);
      io.vec(mesh.MESH_tri, ((static_cast<size_t>(v) * kMaxInstants + t) * n) * 9, 9 * n, 2 * kMaxInstants * n * 9);
      io.vec(mesh.MESH_nor, 3 * node, 3 * kMeshSize * kMeshSize, 3 * kNodes);
      // The vertices' grid positions do not change over the cycle: every instant holds the same.
      io.bytesAsWords(mesh.MESH_points, static_cast<size_t>(v) * n * 6, 6 * n, 2 * n * 6);
    }
  }
  if (!io.ok()) return false;

  auto& g = p.model3d.ranges;
  for (auto* a : {&g.fej_pmin, &g.fej_pmax, &g.tej_pmin, &g.tej_pmax, &g.per_pmin, &g.per_pmax, &g.tper_pmin,
                  &g.tper_pmax, &g.pfr_pmin, &g.pfr_pmax, &g.tpfr_pmin, &g.tpfr_pmax})
    io.seq(*a);
  for (auto* a : {&maps.fej_cmin, &maps.fej_cmax, &maps.tej_cmin, &maps.tej_cmax, &maps.per_cmin, &maps.per_cmax,
                  &maps.tper_cmin, &maps.tper_cmax, &maps.pfr_cmin, &maps.pfr_cmax, &maps.tpfr_cmin, &maps.tpfr_cmax})
    io.seq(*a);
  io.seq(d.PAL_map);
  for (auto& row : set.Plan_Pond) io.seq(row);
  for (auto& row : set.APEX_dismax) io.seq(row);
  for (auto& row : set.Apex_deriv) io.seq(row);
  // Locks: the file keeps 64 slices per instant; locks beyond slice 64 are not kept.
  for (auto& instant : seg.SegLock) io.seq(instant.data(), kLockedSlicesKept);
  io.seq(seg.InstLock);
  io.vec(seg.AFFECT, 0, voxels, voxels);
  io.zeros(kAffectBytes - voxels);

  io.seq(&s.patname_long, 1);
  if (!accept(io, s.patname_long >= 0 && s.patname_long <= kMaxPatientName)) return false;
  io.chars(s.patname, static_cast<size_t>(s.patname_long));
  io.chars(s.patsex, 2);
  io.chars(s.patage, 4);
  io.chars(s.patid, 10);
  io.chars(s.patbd, 8);
  io.chars(s.sopclauid, 26);
  io.chars(s.sopinsuid, 56);
  io.chars(s.hdate, 8);
  io.chars(s.htime, 14);
  io.chars(s.seriesinsuid, 100);
  io.chars(s.seriesinsuid, 100);  // the same field a second time
  io.chars(s.studyuid, 100);
  return io.ok();
}

}  // namespace

std::vector<uint8_t> encodeExam(const ExamSource& src, const std::string& chemin_save, const std::string& date,
                                bool* allFinite) {
  const size_t voxels = static_cast<size_t>(src.study.Ninst) * src.study.NCZ * kSliceVoxels;
  Writer w(kExamHeaderSize + kExamPathSize + voxels * 7 + kAffectBytes + (64u << 20));
  for (int i = 0; i < 4; ++i) w.at(static_cast<size_t>(4 * i), kExamSignature[i]);
  w.at(off::kVersion, kExamVersion);
  w.at(off::kMarker, kLayoutMarker);
  w.at(off::kFitMarker, kFitSettingsMarker);
  w.at(off::kIdentityBlock, kIdentityMarker);
  w.text(off::kVersionDate, date, 10);
  ExamSource parts = src;
  visitHeader(w, parts, Layout{});
  std::array<char, kExamPathSize> path{};
  std::memcpy(path.data(), chemin_save.data(), std::min(chemin_save.size(), kExamPathSize - 1));
  w.chars(path, kExamPathSize);
  visitBody(w, parts);
  if (allFinite) *allFinite = w.finite;
  return std::move(w.out);
}

Status decodeExam(std::span<const uint8_t> bytes, ExamContent& out) {
  const Refusal invalid = Refusal::of(RefusalCode::NotAnExam, exam_texts::kInvalid);
  Reader r(bytes);
  for (int i = 0; i < 4; ++i) {
    int32_t v = 0;
    r.at(static_cast<size_t>(4 * i), v);
    if (!r.ok() || v != kExamSignature[i]) return invalid;
  }
  Layout layout;
  int32_t marker = 0;
  r.at(off::kVersion, layout.version);
  r.at(off::kMarker, marker);
  layout.marker = marker == kLayoutMarker;
  r.at(off::kFitMarker, marker);
  layout.fitSettings = marker == kFitSettingsMarker;
  r.at(off::kIdentityBlock, marker);
  layout.identity = marker == kIdentityMarker;
  out.version = layout.version;
  if (layout.version > kExamVersionDated) r.text(off::kVersionDate, out.qv_version_date, 10);
  if (!r.ok()) return invalid;
  // Fields the file does not hold start from a new study's values.
  out.settings.reorient.records = ValidationRecords{};
  ExamTarget parts = out.target();
  if (!visitHeader(r, parts, layout)) return invalid;
  std::array<char, kExamPathSize> path{};
  r.chars(path, kExamPathSize);
  out.chemin_save.assign(path.data(), std::find(path.begin(), path.end(), '\0'));
  try {
    if (!visitBody(r, parts)) return invalid;
    MeshModel& mesh = out.model.mesh;
    if (out.settings.flow.Previsu_OK) mesh.mesh_samP_built = out.options.mesh_samP;
    // The meshing keeps its arrays together: those the file does not hold are allocated beside
    // those it does (the area weights and preview normals are rebuilt by the meshing).
    mesh.MESH_pond.assign(mesh.MESH_DIS.size(), 0.0f);
    mesh.MESHpre_nor.assign(3 * mesh.MESHpre_DIS.size(), 0.0f);
  } catch (const std::bad_alloc&) {
    return invalid;  // sizes the capacities allow but this machine cannot hold
  }
  return Status::accepted();
}

std::string examDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%d-%m-%Y", &local);
  return text;
}

namespace {

// The refusal of a save that failed with errno error: what failed, why, and whether a previous
// file stayed as it was.
constexpr int kNotNumbers = -1;  // the reason of a save refused for values that are not numbers

Refusal notWritten(const std::filesystem::path& path, int error, bool previous) {
  namespace T = exam_texts;
  auto reason = [&](int L) -> std::string {
    switch (error) {
      case kNotNumbers: return T::kNotNumbers.pick(L);
      case ENOENT:
      case ENOTDIR: return T::kNoFolder.pick(L);
      case EACCES:
      case EPERM:
      case EROFS: return T::kNoWriteRight.pick(L);
      case ENOSPC:
      case EDQUOT: return T::kDiskFull.pick(L);
      case ENOMEM: return T::kNoMemory.pick(L);
      default: return format(T::kSystemError.pick(L), std::strerror(error));
    }
  };
  auto text = [&](int L) {
    return format(T::kNotWritten.pick(L), path.string().c_str(), reason(L).c_str()) +
           (previous ? T::kPreviousIntact.pick(L) : "");
  };
  return {RefusalCode::ExamNotWritten, text(kFrench), text(kEnglish)};
}

}  // namespace

Status SAVE_EXM_DATA(const ExamSource& src, const std::filesystem::path& path, TraceLog& log) {
  log.writef("\nSaving QVX file %s\n", path.string().c_str());
  std::error_code ec;
  const bool previous = std::filesystem::exists(path, ec);
  std::vector<uint8_t> bytes;
  try {
    bool finite = true;
    bytes = encodeExam(src, path.string(), examDate(), &finite);
    // A file the reader would refuse is not written: the previous one stays, the user is told.
    if (!finite) return notWritten(path, kNotNumbers, previous);
  } catch (const std::bad_alloc&) {
    return notWritten(path, ENOMEM, previous);
  }
  if (const int error = writeFileAtomicallyErrno(path, bytes)) return notWritten(path, error, previous);
  return Status::accepted();
}

Status LOAD_EXM_DATA(const std::filesystem::path& path, ExamContent& out, TraceLog& log) {
  log.WRITE_LOGFILE("\nOpening QVX file ...\n");
  std::optional<std::vector<uint8_t>> bytes;
  try {
    bytes = readWholeFile(path);
  } catch (const std::bad_alloc&) {
    bytes.reset();
  }
  if (!bytes) return Refusal::formatted(RefusalCode::UnreadableFile, exam_texts::kUnreadable, path.string().c_str());
  const Status status = decodeExam(*bytes, out);
  if (status) {
    // The stored labels were made on the stored counts.
    stampCounts(out.study);
    out.seg.labelsChanged();
    out.seg.segmentedCounts = out.study.countsGeneration;
    log.writef("Quorvel version no %d  (", out.version);
    if (out.version > kExamVersionDated) log.WRITE_LOGFILE(out.qv_version_date);
    log.WRITE_LOGFILE(")\n");
  }
  return status;
}

bool hasExamSignature(const std::filesystem::path& path) {
  const auto head = readFileRange(path, 0, 16);
  if (!head) return false;
  ByteReader r(*head);
  for (int i = 0; i < 4; ++i)
    if (static_cast<int32_t>(*r.u32le(static_cast<size_t>(4 * i))) != kExamSignature[i]) return false;
  return true;
}

std::filesystem::path withExamExtension(std::filesystem::path path) {
  if (path.extension() != ".qvx") path += ".qvx";
  return path;
}

}  // namespace quorvel
