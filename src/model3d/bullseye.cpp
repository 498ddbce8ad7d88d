#include "model3d/bullseye.h"

#include <cmath>
#include <numbers>
#include <vector>

#include "base/language.h"

namespace quorvel {

namespace {

constexpr int kSide = kBullseye;
constexpr int kPixels = kSide * kSide;
constexpr double kPi = std::numbers::pi;
constexpr double kAngleSnap = 1e-9;  // integer pixels lie either on a sector boundary or far from it
constexpr float kPercentPerRadian = 15.915494f;

bool inDisc(int row, int col) {
  const double dr = row - kBullseyeCentre, dc = col - kBullseyeCentre;
  return std::sqrt(dr * dr + dc * dc) / kBullseyeCentre <= 1.0;
}

// Sectors per ring, inner to outer, and the angular offset of their boundaries (in sectors).
struct Layout {
  int n[3];
  int first[3];
  double offset;  // 0.5: sectors centred on the angular origin
};
Layout layoutOf(int SECT_25) {
  switch (sectorLayout(SECT_25)) {
    case 13: return {{4, 4, 4}, {2, 6, 10}, 0.5};
    case 19: return {{6, 6, 6}, {2, 8, 14}, 0.5};
    case 25: return {{8, 8, 8}, {2, 10, 18}, 0.0};
    default: return {{4, 6, 6}, {2, 6, 12}, 0.5};
  }
}

std::vector<float>* image(BullsEye& eye, int k) {
  std::vector<float>* all[6] = {&eye.mesh_sect_fej, &eye.mesh_sect_tej,  &eye.mesh_sect_per,
                                &eye.mesh_sect_pfr, &eye.mesh_sect_tper, &eye.mesh_sect_tpfr};
  return all[k];
}
bool isTimeImage(int k) { return k == 1 || k == 4 || k == 5; }

void ensureArrays(BullsEye& eye) {
  const size_t two = 2 * static_cast<size_t>(kPixels);
  if (eye.mesh_sect.size() == static_cast<size_t>(kPixels)) return;
  for (int k = 0; k < 6; ++k) image(eye, k)->assign(two, 0.0f);
  eye.mesh_sect_pond.assign(kPixels, 0.0f);
  eye.mesh_sect.assign(kPixels, 0);
  eye.mesh_sect_bord.assign(kPixels, 0);
}

float circularMean3x3(const float* img, const std::vector<int>& mask, int row, int col, bool time) {
  const float c = img[BullsEye::px(row, col)];
  float sum = 0;
  int n = 0;
  for (int dr = -1; dr <= 1; ++dr)
    for (int dc = -1; dc <= 1; ++dc) {
      const size_t q = BullsEye::px(row + dr, col + dc);
      if (!mask[q]) continue;
      float u = img[q];
      if (time) {
        if (std::fabs(u - c) > std::fabs(u - 100.0f - c)) u -= 100.0f;
        else if (std::fabs(u + 100.0f - c) < std::fabs(u - c)) u += 100.0f;
      }
      sum += u, ++n;
    }
  if (n == 0) return 0.0f;
  float m = sum / static_cast<float>(n);
  if (time) {
    if (m < 0) m += 100.0f;
    else if (m > 100.0f) m -= 100.0f;
  }
  return m;
}

}  // namespace

int sectorLayout(int SECT_25) { return SECT_25 == 13 || SECT_25 == 19 || SECT_25 == 25 ? SECT_25 : 17; }

void BULLSEYE_BUILD(const MeshModel& mesh, const RegionalMaps& maps, BullsEye& eye, int v) {
  ensureArrays(eye);
  for (int row = 0; row < kSide; ++row)
    for (int col = 0; col < kSide; ++col) eye.mesh_sect[BullsEye::px(row, col)] = inDisc(row, col) ? 1 : 0;
  float* img[6];
  for (int k = 0; k < 6; ++k) {
    img[k] = &(*image(eye, k))[BullsEye::image(v, 0, 0)];
    std::fill(img[k], img[k] + kPixels, 0.0f);
  }
  std::fill(eye.mesh_sect_pond.begin(), eye.mesh_sect_pond.end(), 0.0f);
  const std::vector<float>* src[6] = {&maps.MESH_FEJ, &maps.MESH_TEJ, &maps.MESH_PER,
                                      &maps.MESH_PFR, &maps.MESH_TPER, &maps.MESH_TPFR};

  // Unrolling: the pole at the centre, the valve ring at radius 124.
  const int A = mesh.mesh_samA, R = mesh.mesh_samR;
  for (int a = 0; a < A; ++a)
    for (int r = 0; r < (a == A - 1 ? 1 : R); ++r) {
      const float psi = 3.1415927f * 2.0f * static_cast<float>(r) / static_cast<float>(R);
      const float rho = static_cast<float>(A - 1 - a) * 124.0f / static_cast<float>(A - 1);
      const int row = static_cast<int>(125.5f + rho * std::cos(psi));
      const int col = static_cast<int>(125.5f + rho * std::sin(psi));
      if (row < 0 || row >= kSide || col < 0 || col >= kSide) continue;
      const size_t p = BullsEye::px(row, col);
      eye.mesh_sect_pond[p] += 1.0f;
      for (int k = 0; k < 6; ++k) img[k][p] += (*src[k])[RegionalMaps::at(v, a, r)];
    }
  for (size_t p = 0; p < static_cast<size_t>(kPixels); ++p)
    if (eye.mesh_sect_pond[p] > 0)
      for (int k = 0; k < 6; ++k) img[k][p] /= eye.mesh_sect_pond[p];

  // Filling: ring by ring outwards from the pixels that received nodes; the filled neighbour
  // scanned last gives the value. The order is the same for the six images.
  std::vector<uint8_t> filled(kPixels, 0);
  for (size_t p = 0; p < static_cast<size_t>(kPixels); ++p) filled[p] = eye.mesh_sect_pond[p] > 0;
  std::vector<int> source(kPixels, -1);
  std::vector<std::array<int, 2>> order;  // (pixel, its source), in filling order
  for (;;) {
    std::vector<int> reached;
    for (int row = 0; row < kSide; ++row)
      for (int col = 0; col < kSide; ++col) {
        const int p = static_cast<int>(BullsEye::px(row, col));
        if (!filled[p]) continue;
        for (int dr = -1; dr <= 1; ++dr)
          for (int dc = -1; dc <= 1; ++dc) {
            const int r2 = row + dr, c2 = col + dc;
            if ((dr | dc) == 0 || r2 < 0 || r2 >= kSide || c2 < 0 || c2 >= kSide) continue;
            const int q = static_cast<int>(BullsEye::px(r2, c2));
            if (filled[q] || !eye.mesh_sect[q]) continue;
            if (source[q] < 0) reached.push_back(q);
            source[q] = p;
          }
      }
    if (reached.empty()) break;
    for (int q : reached) {
      filled[q] = 1;
      order.push_back({q, source[q]});
    }
  }
  for (int k = 0; k < 6; ++k)
    for (const auto& [q, p] : order) img[k][q] = img[k][p];

  // Smoothing over the 3 x 3 pixels inside the disc; pixels outside keep 0.
  std::vector<float> out(kPixels);
  for (int k = 0; k < 6; ++k) {
    std::copy(img[k], img[k] + kPixels, out.begin());
    for (int row = 1; row < kSide - 1; ++row)
      for (int col = 1; col < kSide - 1; ++col)
        if (eye.mesh_sect[BullsEye::px(row, col)])
          out[BullsEye::px(row, col)] = circularMean3x3(img[k], eye.mesh_sect, row, col, isTimeImage(k));
    std::copy(out.begin(), out.end(), img[k]);
  }
}

int sectorOf(int row, int col, int SECT_25) {
  const int dr = row - kBullseyeCentre, dc = col - kBullseyeCentre;
  const double f = std::sqrt(static_cast<double>(dr * dr + dc * dc)) / kBullseyeCentre;
  if (f > 1.0) return 0;
  if (f <= 0.25) return 1;
  const int ring = f <= 0.5 ? 0 : f <= 0.75 ? 1 : 2;
  const Layout L = layoutOf(SECT_25);
  double theta = std::atan2(static_cast<double>(dc), static_cast<double>(dr));
  if (theta < 0) theta += 2 * kPi;
  const int n = L.n[ring];
  const double width = 2 * kPi / n;
  const int k = static_cast<int>(std::floor((theta + L.offset * width) / width + kAngleSnap)) % n;
  return L.first[ring] + k;
}

int DEF_SECTORS(BullsEye& eye, int v, int SECT_25, int Ninst) {
  ensureArrays(eye);
  const int layout = sectorLayout(SECT_25);
  eye.mesh_smoy_pond.fill(0);
  for (int row = 0; row < kSide; ++row)
    for (int col = 0; col < kSide; ++col) {
      const int s = sectorOf(row, col, layout);
      eye.mesh_sect[BullsEye::px(row, col)] = s;
      ++eye.mesh_smoy_pond[s];
    }
  SectorValues* lin[3] = {&eye.mesh_smoy_fej[v], &eye.mesh_smoy_per[v], &eye.mesh_smoy_pfr[v]};
  SectorValues* cx[3] = {&eye.mesh_smoy_tejX[v], &eye.mesh_smoy_tperX[v], &eye.mesh_smoy_tpfrX[v]};
  SectorValues* cy[3] = {&eye.mesh_smoy_tejY[v], &eye.mesh_smoy_tperY[v], &eye.mesh_smoy_tpfrY[v]};
  SectorValues* tm[3] = {&eye.mesh_smoy_tej[v], &eye.mesh_smoy_tper[v], &eye.mesh_smoy_tpfr[v]};
  const float* li[3] = {&eye.mesh_sect_fej[BullsEye::image(v, 0, 0)], &eye.mesh_sect_per[BullsEye::image(v, 0, 0)],
                        &eye.mesh_sect_pfr[BullsEye::image(v, 0, 0)]};
  const float* ti[3] = {&eye.mesh_sect_tej[BullsEye::image(v, 0, 0)], &eye.mesh_sect_tper[BullsEye::image(v, 0, 0)],
                        &eye.mesh_sect_tpfr[BullsEye::image(v, 0, 0)]};
  for (int k = 0; k < 3; ++k) {
    for (int s = 0; s < kSectorSlots; ++s) (*lin[k])[s] = (*cx[k])[s] = (*cy[k])[s] = (*tm[k])[s] = 0.0f;
  }
  for (size_t p = 0; p < static_cast<size_t>(kPixels); ++p) {
    const int s = eye.mesh_sect[p];
    for (int k = 0; k < 3; ++k) {
      (*lin[k])[s] += li[k][p];
      const float a = 2.0f * static_cast<float>(kPi) * ti[k][p] / 100.0f;
      (*cx[k])[s] += std::cos(a);
      (*cy[k])[s] += std::sin(a);
    }
  }
  for (int s = 1; s <= layout; ++s) {
    for (int k = 0; k < 3; ++k) {
      if (eye.mesh_smoy_pond[s] > 0) (*lin[k])[s] /= static_cast<float>(eye.mesh_smoy_pond[s]);
      float angle = std::atan2((*cy[k])[s], (*cx[k])[s]);
      if (angle < 0) angle += 2.0f * static_cast<float>(kPi);
      (*tm[k])[s] = angle * kPercentPerRadian;
    }
    const int q = static_cast<int>(static_cast<float>(Ninst) * eye.mesh_smoy_tej[v][s] / 25.0f);
    if (q < eye.inst_depol_min) eye.inst_depol_min = q;
    if (q + 1 > eye.inst_depol_max) eye.inst_depol_max = q + 1;
  }
  return 0;
}

int DEFINE_BULLSEYE_BORD(BullsEye& eye, int SECT_25, int show, int mesh_sect_grad) {
  ensureArrays(eye);
  std::fill(eye.mesh_sect_bord.begin(), eye.mesh_sect_bord.end(), 0);
  auto mark = [&](double rho, double angle) {
    const int row = static_cast<int>(125.5 + rho * std::cos(angle));
    const int col = static_cast<int>(125.5 + rho * std::sin(angle));
    if (row >= 0 && row < kSide && col >= 0 && col < kSide) eye.mesh_sect_bord[BullsEye::px(row, col)] = 1;
  };
  for (int i = 1; i <= 4; ++i)
    for (int j = 0; j < 1000; ++j) mark(125.0 * i / 4.0, j * kPi / 500.0);
  const Layout L = layoutOf(SECT_25);
  for (int ring = 0; ring < 3; ++ring) {
    const int n = L.n[ring];
    for (int s = 0; s < n; ++s) {
      const double angle = (s + L.offset) * kPi / (n / 2);
      for (int j = 0; j < 400; ++j) mark((j + 400.0 * ring) * 93.0 / 1200.0 + 32.0, angle);
    }
  }
  if (mesh_sect_grad == 1 && show == 1)
    for (int s = 0; s < kSectorSlots; ++s) eye.label_shown[s] = s <= sectorLayout(SECT_25);
  return 0;
}

std::array<std::array<SectorLabel, kSectorSlots>, 2> BULLSEYE_LABELS(const BullsEye& eye, const RegionalMaps& maps,
                                                                       int SECT_25, int mesh_visu, const StudyRecord& s) {
  std::array<std::array<SectorLabel, kSectorSlots>, 2> out;  // member defaults; "{}" crashes clang 14
  const Layout L = layoutOf(SECT_25);
  const int layout = sectorLayout(SECT_25);
  for (int panel = 0; panel < 2; ++panel) {
    const int v = panel == 0 ? 1 : 0;
    for (int k = 0; k < kSectorSlots; ++k) {
      SectorLabel& lab = out[panel][k];
      lab.shown = eye.label_shown[k] != 0;
      // Centre of the sector: the apex at the centre; ring sectors at mid radius and mid angle.
      if (k == 1) {
        lab.row = lab.col = kBullseyeCentre;
      } else if (k >= 2 && k <= layout) {
        int ring = 2;
        while (ring > 0 && k < L.first[ring]) --ring;
        const int n = L.n[ring];
        const double angle = (k - L.first[ring] + 0.5 - L.offset) * 2 * kPi / n;
        const double rho = 125.0 * (0.375 + 0.25 * ring);
        lab.row = static_cast<int>(125.5 + rho * std::cos(angle));
        lab.col = static_cast<int>(125.5 + rho * std::sin(angle));
      }
      const float cycleMs = static_cast<float>(s.Ninst) * s.CYCLE;
      switch (mesh_visu) {
        case 0: lab.text = format("%d", static_cast<int>(eye.mesh_smoy_fej[v][k] + 0.5f)); break;
        case 2: lab.text = format("%2.1f", eye.mesh_smoy_per[v][k] / maps.PER_corr); break;
        case 4: lab.text = format("%2.1f", eye.mesh_smoy_pfr[v][k] / maps.PFR_corr); break;
        default: {
          const SectorValues& t = mesh_visu == 1 ? eye.mesh_smoy_tej[v] : mesh_visu == 3 ? eye.mesh_smoy_tper[v]
                                                                                          : eye.mesh_smoy_tpfr[v];
          lab.text = format("%d", static_cast<int>(cycleMs * t[k] / 100.0f + 0.5f));
        }
      }
    }
  }
  return out;
}

}  // namespace quorvel
