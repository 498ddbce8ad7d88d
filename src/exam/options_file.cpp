#include "exam/options_file.h"

#include <algorithm>
#include <bit>

#include "base/byte_reader.h"
#include "study/timing.h"

namespace quorvel {

namespace {

// Up to REPROJ at 1220, then our own settings; a file of 1224 bytes leaves them at their defaults.
constexpr size_t kOptionsSize = 1232;
// The methods the file's default method may name: reference curve, multi-harmonic, polynomial.
constexpr int kFileFitMethodFirst = 1, kFileFitMethodLast = 3;

// Every field in offset order; io(offset, field) reads or writes one 4-byte value, io.byte one byte.
template <typename Io, typename O>
void visitOptions(Io& io, O& o) {
  io(0, o.LANGUE);
  io(8, o.RECH_8);
  io(16, o.DEFAULT_format);
  io(24, o.DEFAULT_ninst);
  io(32, o.DEFAULT_freq);
  io(40, o.DEFAULT_visu_type[0]);
  io(44, o.DEFAULT_visu_type[1]);
  io(48, o.DEFAULT_visu_coord);
  io(56, o.DEFAULT_visu_coordz);
  io(60, o.DEFAULT_visu_coordv);
  io(64, o.DEFAULT_tacfitswitch);
  io(72, o.TACFIT_ITvol);
  io(80, o.DEFAULT_compmax);
  io(84, o.DEFAULT_pentemin);
  io(88, o.ECH);
  io(96, o.TT_);
  io(104, o.TZ_);
  io(112, o.TX_);
  io(120, o.DEFAULT_sama);
  io(124, o.mesh_samP);
  io(128, o.DEFAULT_samr);
  io(136, o.palette);
  io(144, o.DEFAULT_seuil);
  io(152, o.DEFAULT_Vpond);
  io(800, o.palette);
  io(804, o.gamma_);
  io(808, o.visu_LUM);
  io(812, o.visu_CONT);
  io(816, o.visu_SPOT);
  io(820, o.visu_LUM3D);
  io(824, o.visu_CONT3D);
  io(840, o.visu_arete[0]);
  io(844, o.visu_arete[1]);
  io(844, o.palette3D);
  io(848, o.pal3D);
  io(852, o.param_LUM);
  io(856, o.param_CONT);
  io(860, o.skel_fin);
  io(864, o.visu_nu);
  io(868, o.mesh_itpre);
  io(872, o.mesh_Pdiv);
  io(876, o.SECT_25);
  io(880, o.Vplane_Size);
  io(884, o.Vplane_Gap);
  io.byte(920, o.BK_r);
  io.byte(924, o.BK_g);
  io.byte(928, o.BK_b);
  io(932, o.UNDO_max);
  io(960, o.Fich_3D);
  io(964, o.VLA_proj);
  io(1000, o.SECT_25);
  io(1004, o.seg_interp);
  io(1008, o.visu_interp);
  io(1200, o.RESEXP_type);
  io(1204, o.RESEXP_1024);
  io(1208, o.short_axis);
  io(1212, o.equilibrium);
  io(1220, o.REPROJ);
  io(1224, o.proposePlacementOnOpen);
  io(1228, o.fallCriterion);
}

struct OptionsWriter {
  std::vector<uint8_t> out = std::vector<uint8_t>(kOptionsSize, 0);
  template <typename T>
  void operator()(size_t offset, const T& v) {
    const uint32_t w = std::bit_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<uint8_t>(w >> (8 * i));
  }
  void byte(size_t offset, unsigned char v) { out[offset] = v; }
};

struct OptionsReader {
  ByteReader r;
  template <typename T>
  void operator()(size_t offset, T& v) {
    if (const auto w = r.u32le(offset)) v = std::bit_cast<T>(*w);
  }
  void byte(size_t offset, unsigned char& v) {
    if (const auto b = r.u8(offset)) v = *b;
  }
};

}  // namespace

std::vector<uint8_t> encodeOptions(const Options& o) {
  OptionsWriter w;
  visitOptions(w, o);
  return std::move(w.out);
}

void decodeOptions(std::span<const uint8_t> bytes, Options& o) {
  OptionsReader r{ByteReader(bytes)};
  visitOptions(r, o);
  keepPanelRanges(o);
}

void keepPanelRanges(Options& o) {
  const Options defaults;
  static constexpr struct {
    OptionNumber field;
    int Options::*value;
  } kNumbers[] = {{OptionNumber::Sampling, &Options::ECH},          {OptionNumber::KernelT, &Options::TT_},
                  {OptionNumber::KernelZ, &Options::TZ_},           {OptionNumber::KernelXY, &Options::TX_},
                  {OptionNumber::Threshold, &Options::DEFAULT_seuil}, {OptionNumber::Iterations, &Options::TACFIT_ITvol},
                  {OptionNumber::Compression, &Options::DEFAULT_compmax}, {OptionNumber::Slope, &Options::DEFAULT_pentemin}};
  for (const auto& n : kNumbers) setOptionNumber(o, n.field, o.*n.value);
  static constexpr struct {
    OptionChoice box;
    int Options::*value;
  } kChoices[] = {{OptionChoice::Language, &Options::LANGUE},
                  {OptionChoice::Format, &Options::DEFAULT_format},
                  {OptionChoice::Instants, &Options::DEFAULT_ninst},
                  {OptionChoice::Rebin, &Options::RECH_8},
                  {OptionChoice::ShortAxis, &Options::short_axis},
                  {OptionChoice::Equilibrium, &Options::equilibrium},
                  {OptionChoice::SurfaceWeighting, &Options::DEFAULT_Vpond},
                  {OptionChoice::AxialSampling, &Options::DEFAULT_sama},
                  {OptionChoice::AngularSampling, &Options::DEFAULT_samr},
                  {OptionChoice::SyncDirections, &Options::DEFAULT_visu_coord},
                  {OptionChoice::SyncZoom, &Options::DEFAULT_visu_coordz},
                  {OptionChoice::SyncVentricles, &Options::DEFAULT_visu_coordv},
                  {OptionChoice::Sectors, &Options::SECT_25},
                  {OptionChoice::ExportFormat, &Options::RESEXP_1024},
                  {OptionChoice::FallCriterion, &Options::fallCriterion}};
  for (const auto& c : kChoices) {
    const int read = o.*c.value;
    o.*c.value = defaults.*c.value;
    setOptionChoice(o, c.box, read);
  }
  // The file's method may be any the field holds (the panel's boxes offer the first two).
  if (o.DEFAULT_tacfitswitch < kFileFitMethodFirst || o.DEFAULT_tacfitswitch > kFileFitMethodLast)
    o.DEFAULT_tacfitswitch = defaults.DEFAULT_tacfitswitch;
  // The preview sampling sets its divisor too, from the file's sampling when the panel offers it.
  const int preview = o.mesh_samP;
  o.mesh_samP = defaults.mesh_samP;
  o.mesh_Pdiv = defaults.mesh_Pdiv;
  setOptionChoice(o, OptionChoice::PreviewSampling, preview);
  if (o.proposePlacementOnOpen != 0 && o.proposePlacementOnOpen != 1)
    o.proposePlacementOnOpen = defaults.proposePlacementOnOpen;
  if (o.DEFAULT_freq < kMinHeartRate || o.DEFAULT_freq > kMaxHeartRate) o.DEFAULT_freq = defaults.DEFAULT_freq;
  setBackgroundColour(o, {o.BK_r, o.BK_g, o.BK_b});
}

void deriveOptionCopies(Options& o) {
  o.TACFIT_COMPMAX = static_cast<float>(o.DEFAULT_compmax) / 100.0f;
  o.TACFIT_PTMIN = static_cast<float>(o.DEFAULT_pentemin) / 100.0f;
}

int LOAD_OPTIONS(const std::filesystem::path& folder, Options& o) {
  const auto bytes = readWholeFile(folder / kOptionsFileName);
  if (!bytes) return 0;
  decodeOptions(*bytes, o);
  deriveOptionCopies(o);
  return 1;
}

bool SAVE_OPTIONS_FILE(const std::filesystem::path& folder, const Options& o) {
  return writeFileAtomically(folder / kOptionsFileName, encodeOptions(o));
}

void setOptionNumber(Options& o, OptionNumber field, long typed) {
  auto clamp = [typed](int lo, int hi) { return static_cast<int>(std::clamp<long>(typed, lo, hi)); };
  switch (field) {
    case OptionNumber::Sampling: o.ECH = clamp(100, 2000); break;
    case OptionNumber::KernelT: o.TT_ = clamp(1, 2); break;
    case OptionNumber::KernelZ: o.TZ_ = clamp(1, 2); break;
    case OptionNumber::KernelXY: o.TX_ = clamp(1, 2); break;
    case OptionNumber::Threshold: o.DEFAULT_seuil = clamp(10, 90); break;
    case OptionNumber::Iterations: o.TACFIT_ITvol = clamp(0, 100); break;
    case OptionNumber::Compression: o.DEFAULT_compmax = clamp(0, 100); break;
    case OptionNumber::Slope: o.DEFAULT_pentemin = clamp(0, 100); break;
  }
}

bool setOptionChoice(Options& o, OptionChoice box, int value) {
  auto oneOf = [value](std::initializer_list<int> allowed) {
    return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
  };
  auto set = [&](int& field, std::initializer_list<int> allowed) {
    if (!oneOf(allowed)) return false;
    field = value;
    return true;
  };
  switch (box) {
    case OptionChoice::Language: return set(o.LANGUE, {0, 1});
    case OptionChoice::Format: return set(o.DEFAULT_format, {1, 2, 3, 4});
    case OptionChoice::Instants: return set(o.DEFAULT_ninst, {8, 16});
    case OptionChoice::Rebin: return set(o.RECH_8, {0, 1});
    case OptionChoice::ShortAxis: return set(o.short_axis, {0, 1});
    case OptionChoice::Equilibrium: return set(o.equilibrium, {1});
    case OptionChoice::FitMethod: return set(o.DEFAULT_tacfitswitch, {1, 2});
    case OptionChoice::SurfaceWeighting: return set(o.DEFAULT_Vpond, {0, 1});
    case OptionChoice::AxialSampling: return set(o.DEFAULT_sama, {24, 48, 72, 96, 120});
    case OptionChoice::AngularSampling: return set(o.DEFAULT_samr, {24, 48, 72, 96, 120});
    case OptionChoice::PreviewSampling:
      if (!set(o.mesh_samP, {12, 24, 48})) return false;
      o.mesh_Pdiv = o.mesh_samP;
      return true;
    case OptionChoice::SyncDirections: return set(o.DEFAULT_visu_coord, {0, 1});
    case OptionChoice::SyncZoom: return set(o.DEFAULT_visu_coordz, {0, 1});
    case OptionChoice::SyncVentricles: return set(o.DEFAULT_visu_coordv, {0, 1});
    case OptionChoice::Sectors: return set(o.SECT_25, {13, 17, 19, 25});
    case OptionChoice::ExportFormat: return set(o.RESEXP_1024, {0, 1});
    case OptionChoice::FallCriterion:
      return value >= 0 && value < kFallCriterionChoices && set(o.fallCriterion, {value});
  }
  return false;
}

int optionNumber(const Options& o, OptionNumber field) {
  switch (field) {
    case OptionNumber::Sampling: return o.ECH;
    case OptionNumber::KernelT: return o.TT_;
    case OptionNumber::KernelZ: return o.TZ_;
    case OptionNumber::KernelXY: return o.TX_;
    case OptionNumber::Threshold: return o.DEFAULT_seuil;
    case OptionNumber::Iterations: return o.TACFIT_ITvol;
    case OptionNumber::Compression: return o.DEFAULT_compmax;
    case OptionNumber::Slope: return o.DEFAULT_pentemin;
  }
  return 0;
}

int optionChoice(const Options& o, OptionChoice box) {
  switch (box) {
    case OptionChoice::Language: return o.LANGUE;
    case OptionChoice::Format: return o.DEFAULT_format;
    case OptionChoice::Instants: return o.DEFAULT_ninst;
    case OptionChoice::Rebin: return o.RECH_8;
    case OptionChoice::ShortAxis: return o.short_axis;
    case OptionChoice::Equilibrium: return o.equilibrium;
    case OptionChoice::FitMethod: return o.DEFAULT_tacfitswitch;
    case OptionChoice::SurfaceWeighting: return o.DEFAULT_Vpond;
    case OptionChoice::AxialSampling: return o.DEFAULT_sama;
    case OptionChoice::AngularSampling: return o.DEFAULT_samr;
    case OptionChoice::PreviewSampling: return o.mesh_samP;
    case OptionChoice::SyncDirections: return o.DEFAULT_visu_coord;
    case OptionChoice::SyncZoom: return o.DEFAULT_visu_coordz;
    case OptionChoice::SyncVentricles: return o.DEFAULT_visu_coordv;
    case OptionChoice::Sectors: return o.SECT_25;
    case OptionChoice::ExportFormat: return o.RESEXP_1024;
    case OptionChoice::FallCriterion: return o.fallCriterion;
  }
  return 0;
}

Rgb backgroundColourRule(Rgb c) {
  auto sum = [&] { return c.r + c.g + c.b; };
  while (sum() <= 29) c = {static_cast<unsigned char>(c.r + 1), static_cast<unsigned char>(c.g + 1),
                           static_cast<unsigned char>(c.b + 1)};
  while (sum() >= 601) c = {static_cast<unsigned char>(c.r - 1), static_cast<unsigned char>(c.g - 1),
                            static_cast<unsigned char>(c.b - 1)};
  return c;
}

void setBackgroundColour(Options& o, Rgb chosen) {
  const Rgb c = backgroundColourRule(chosen);
  o.BK_r = c.r, o.BK_g = c.g, o.BK_b = c.b;
}

Rgb panelTextColour(Rgb background) {
  return background.r + background.g + background.b > 332 ? Rgb{20, 20, 20} : Rgb{240, 240, 240};
}

}  // namespace quorvel
