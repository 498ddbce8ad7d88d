#include "phantom/writers.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <stdexcept>

#include "base/byte_reader.h"
#include "model3d/segmental.h"
#include "study/dicom_writer.h"

namespace quorvel::phantom {

namespace {

constexpr double kPi = std::numbers::pi;
// The re-orientation turns valves_angle degrees into radians with this factor.
constexpr double kValveAngleRadPerDeg = 0.0175;
constexpr int kInterfileMaxSlices = 99;  // the reader takes two digits
constexpr uint32_t kTimeSlotVectorTag = 0x00540070;
constexpr uint32_t kSliceVectorTag = 0x00540080;

uint64_t fnv1a(const std::string& s, uint64_t h = 1469598103934665603ULL) {
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ULL;
  return h;
}

double cycleMs(const PhantomParams& p) { return 60000.0 / (p.instants * p.heart_rate_bpm); }

// Same parameters and seed give the same identifiers, so the same bytes.
std::string contentUid(const Phantom& ph, const std::string& what) {
  const std::string key = groundTruth(ph)["parameters"].dump() + what;
  return uidFrom128(fnv1a(key), fnv1a(key, ph.params.seed * 0x9E3779B97F4A7C15ULL + 1));
}

std::string dateWithColons(const std::string& yyyymmdd) {
  if (yyyymmdd.size() != 8) return yyyymmdd;
  return yyyymmdd.substr(0, 4) + ":" + yyyymmdd.substr(4, 2) + ":" + yyyymmdd.substr(6, 2);
}

// File order of one instant's slices as 16-bit words.
std::vector<uint16_t> instantWords(const Phantom& ph, OutputFormat f, int t) {
  const PhantomParams& p = ph.params;
  std::vector<uint16_t> w;
  w.reserve(static_cast<size_t>(p.slices) * p.matrix * p.matrix);
  for (int k = 0; k < p.slices; ++k) {
    const int z = fileSliceToWorking(p, f, k);
    const uint16_t* src = &ph.counts[ph.index(t, z, 0, 0)];
    w.insert(w.end(), src, src + static_cast<size_t>(p.matrix) * p.matrix);
  }
  return w;
}

void writeBytes(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  if (!writeFileAtomically(path, bytes)) throw std::runtime_error("cannot write " + path.string());
}
void writeText(const std::filesystem::path& path, const std::string& s) {
  writeBytes(path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
}

nlohmann::json curveJson(const VolumeCurveParams& c) {
  return {{"edv_ml", c.edv_ml},
          {"ef_percent", c.ef_percent},
          {"end_systole_pct_of_cycle", c.es_phase_pct},
          {"rapid_filling_fraction_of_sv", c.rapid_fraction},
          {"rapid_filling_duration_pct_of_cycle", c.rapid_duration_pct},
          {"atrial_kick_fraction_of_sv", c.atrial_fraction},
          {"atrial_kick_start_pct_of_cycle", c.atrial_start_pct}};
}

const char* faultName(WallFault k) {
  switch (k) {
    case WallFault::Akinetic: return "akinetic";
    case WallFault::Late: return "late";
    case WallFault::Hypokinetic: return "hypokinetic";
    case WallFault::Dyskinetic: return "dyskinetic";
    case WallFault::None: break;
  }
  return "none";
}

nlohmann::json faultJson(const WallFaultParams& f) {
  return {{"kind", faultName(f.kind)},
          {"centre_sector_of_17", f.sector},
          {"radius_fraction_of_bullseye", f.size},
          {"end_systole_delay_pct_of_cycle", f.kind == WallFault::Late ? f.delay_pct : 0.0}};
}

nlohmann::json rvFaultJson(const RvWallFaultParams& f) {
  return {{"kind", faultName(f.kind)}, {"free_wall_segment_of_7", f.segment}, {"length_share", f.size}};
}

// Per layout, the sectors at least half inside the fault and every sector's share of it.
nlohmann::json faultSectors(const PhantomParams& p) {
  nlohmann::json j;
  for (int layout : {13, 17, 19, 25}) {
    const std::vector<double> share = faultShareBySector(p, layout);
    nlohmann::json affected = nlohmann::json::array(), shares = nlohmann::json::object();
    for (int s = 1; s <= layout; ++s) {
      if (share[s] >= 0.5) affected.push_back(s);
      if (share[s] > 0) shares[std::to_string(s)] = share[s];
    }
    j[std::to_string(layout)] = {{"affected_sectors", affected}, {"share_in_fault", shares}};
  }
  return j;
}

nlohmann::json ventricleTruth(const Phantom& ph, const VolumeCurveParams& cp, const std::vector<double>& trueMl,
                              int structure) {
  const CurveTruth t = curveTruth(VolumeCurve(cp), ph.params.heart_rate_bpm);
  nlohmann::json vox = nlohmann::json::array();
  for (const auto& v : ph.voxelised_ml) vox.push_back(v[structure]);
  return {{"volume_ml_per_instant", trueMl},
          {"voxelised_volume_ml_per_instant", vox},
          {"edv_ml", t.edv_ml},
          {"esv_ml", t.esv_ml},
          {"stroke_volume_ml", t.sv_ml},
          {"ejection_fraction_percent", t.ef_percent},
          {"cardiac_output_l_per_min", t.cardiac_output_l_min},
          {"end_systole_ms", t.t_es_ms},
          {"end_systole_pct_of_cycle", t.t_es_pct},
          {"peak_ejection_rate_edv_per_s", t.per_edv_per_s},
          {"peak_ejection_time_ms", t.t_per_ms},
          {"peak_ejection_time_pct_of_cycle", t.t_per_pct},
          {"peak_filling_rate_edv_per_s", t.pfr_edv_per_s},
          {"peak_filling_time_ms", t.t_pfr_ms},
          {"peak_filling_time_pct_of_cycle", t.t_pfr_pct}};
}

}  // namespace

const char* formatName(OutputFormat f) {
  switch (f) {
    case OutputFormat::DicomImplicit: return "dicom-il";
    case OutputFormat::DicomExplicit: return "dicom-el";
    case OutputFormat::DicomBig: return "dicom-eb";
    case OutputFormat::Interfile: return "interfile";
    case OutputFormat::Idb: return "idb";
  }
  return "?";
}

bool parseFormat(const std::string& name, OutputFormat& f) {
  for (OutputFormat g : {OutputFormat::DicomImplicit, OutputFormat::DicomExplicit, OutputFormat::DicomBig,
                         OutputFormat::Interfile, OutputFormat::Idb})
    if (name == formatName(g)) {
      f = g;
      return true;
    }
  return false;
}

std::string formatLimits(const PhantomParams& p, OutputFormat f) {
  if (f == OutputFormat::Interfile || f == OutputFormat::Idb) {
    if (p.matrix != kMatrix) return std::string(formatName(f)) + " holds 64 x 64 slices only";
    if (f == OutputFormat::Idb && p.slices > kIdbSlices) return "idb holds at most 64 slices";
    if (f == OutputFormat::Interfile && p.slices > kInterfileMaxSlices) return "interfile holds at most 99 slices";
  }
  return {};
}

int fileSliceToWorking(const PhantomParams& p, OutputFormat f, int k) {
  const bool dicom = f == OutputFormat::DicomImplicit || f == OutputFormat::DicomExplicit || f == OutputFormat::DicomBig;
  return (dicom && p.patient.position == "HFS") ? p.slices - 1 - k : k;
}

DicomDataSet nmDataSet(const Phantom& ph, TransferSyntax syntax) {
  const PhantomParams& p = ph.params;
  const OutputFormat f = syntax == kImplicitLittle  ? OutputFormat::DicomImplicit
                         : syntax == kExplicitBig ? OutputFormat::DicomBig
                                                  : OutputFormat::DicomExplicit;
  DicomDataSet ds;
  ds.addString(0x0008, 0x0008, "CS", "ORIGINAL\\PRIMARY\\RECON GATED TOMO\\EMISSION");
  ds.addString(0x0008, 0x0020, "DA", p.patient.study_date);
  ds.addString(0x0008, 0x0022, "DA", p.patient.study_date);
  ds.addString(0x0008, 0x0030, "TM", p.patient.study_time);
  ds.addString(0x0008, 0x0060, "CS", "NM");
  ds.addString(0x0008, 0x0070, "LO", "Quorvel digital phantom");
  ds.addString(0x0008, 0x103E, "LO", "Gated blood-pool phantom");
  ds.addString(0x0010, 0x0010, "PN", p.patient.name);
  ds.addString(0x0010, 0x0020, "LO", p.patient.id);
  ds.addString(0x0010, 0x0030, "DA", p.patient.birth_date);
  ds.addString(0x0010, 0x0040, "CS", p.patient.sex);
  ds.addDS(0x0018, 0x0050, p.slice_mm);
  ds.addDS(0x0018, 0x0088, p.slice_mm);
  if (p.record_heart_rate) {
    ds.addIS(0x0018, 0x1088, std::lround(p.heart_rate_bpm));
    ds.addIS(0x0018, 0x1062, std::lround(60000.0 / p.heart_rate_bpm));
  }
  ds.addString(0x0018, 0x5100, "CS", p.patient.position);
  ds.addString(0x0020, 0x000D, "UI", contentUid(ph, "study"));
  ds.addString(0x0020, 0x000E, "UI", contentUid(ph, "series"));
  ds.addString(0x0020, 0x0010, "SH", "PHANTOM");
  ds.addIS(0x0020, 0x0011, 1);
  ds.addIS(0x0020, 0x0013, 1);
  ds.addUS(0x0028, 0x0002, 1);
  ds.addString(0x0028, 0x0004, "CS", "MONOCHROME2");
  ds.addIS(0x0028, 0x0008, static_cast<long long>(p.instants) * p.slices);
  const uint32_t pointers[2] = {kTimeSlotVectorTag, kSliceVectorTag};
  ds.addAT(0x0028, 0x0009, pointers);
  ds.addUS(0x0028, 0x0010, static_cast<uint16_t>(p.matrix));
  ds.addUS(0x0028, 0x0011, static_cast<uint16_t>(p.matrix));
  const double spacing[2] = {p.pixel_mm, p.pixel_mm};
  ds.addDS(0x0028, 0x0030, spacing);
  ds.addUS(0x0028, 0x0100, 16);
  ds.addUS(0x0028, 0x0101, 16);
  ds.addUS(0x0028, 0x0102, 15);
  ds.addUS(0x0028, 0x0103, 0);
  std::vector<uint16_t> timeSlots, sliceVector;
  for (int t = 0; t < p.instants; ++t)
    for (int k = 0; k < p.slices; ++k) timeSlots.push_back(uint16_t(t + 1)), sliceVector.push_back(uint16_t(k + 1));
  ds.addUS(0x0054, 0x0070, timeSlots);
  ds.addUS(0x0054, 0x0071, static_cast<uint16_t>(p.instants));
  ds.addUS(0x0054, 0x0080, sliceVector);
  ds.addUS(0x0054, 0x0081, static_cast<uint16_t>(p.slices));
  std::vector<uint16_t> pixels;
  for (int t = 0; t < p.instants; ++t) {
    const auto w = instantWords(ph, f, t);
    pixels.insert(pixels.end(), w.begin(), w.end());
  }
  ds.addOW(0x7FE0, 0x0010, pixels);
  return ds;
}

std::vector<uint8_t> encodeDicom(const Phantom& ph, TransferSyntax syntax) {
  return nmDataSet(ph, syntax).encodePart10(syntax, kNmImageStorageUid, contentUid(ph, "instance"));
}

std::string encodeInterfileHeader(const Phantom& ph, const std::string& dataFileName) {
  const PhantomParams& p = ph.params;
  const std::string why = formatLimits(p, OutputFormat::Interfile);
  if (!why.empty()) throw std::invalid_argument(why);
  char px[16];
  std::snprintf(px, sizeof px, "%.3f", p.pixel_mm);  // the reader takes 5 characters
  char sz[16];
  std::snprintf(sz, sizeof sz, "%.3f", p.slice_mm);
  char slices[16];
  std::snprintf(slices, sizeof slices, "%02d", p.slices);  // two characters, no space after ":="
  std::string h;
  auto key = [&](const std::string& k, const std::string& v) { h += k + " :=" + v + "\r\n"; };
  key("!INTERFILE", "");
  key("!imaging modality", "nucmed");
  key("!originating system", "Quorvel phantom");
  key("!version of keys", "3.3");
  key("!GENERAL DATA", "");
  key("!data offset in bytes", "0");
  key("!name of data file", dataFileName);
  key("patient name", p.patient.name);
  key("!patient ID", p.patient.id);
  key("patient dob", dateWithColons(p.patient.birth_date));
  key("patient sex", p.patient.sex);
  key("!GENERAL IMAGE DATA", "");
  // One gated window of NCZ reconstructed slices per file: the layout general readers accept.
  key("!type of data", "GSPECT");
  key("!total number of images", slices);
  key("study date", dateWithColons(p.patient.study_date));
  key("imagedata byte order", "LITTLEENDIAN");
  key("number of energy windows", "1");
  key("!GATED SPECT STUDY (general)", "");
  key("!matrix size [1]", std::to_string(p.matrix));
  key("!matrix size [2]", std::to_string(p.matrix));
  key("!number format", "unsigned integer");
  key("!number of bytes per pixel", "2");
  key("scaling factor (mm/pixel) [1]", px);
  key("scaling factor (mm/pixel) [2]", px);
  key("!gated SPECT nesting outer level", "Gated");
  key("number of time windows", "1");
  key("!Gated Study (each time window)", "");
  key("!time window number", "1");
  key("!number of images in time window", "1");
  key("number of detector heads", "1");
  key("!number of images/energy window", slices);
  key("!process status", "Reconstructed");
  key("!SPECT STUDY (reconstructed data)", "");
  key("!number of slices", slices);
  key("slice thickness (pixels)", std::to_string(p.slice_mm / p.pixel_mm));
  key("slice thickness (mm)", sz);
  key("!END OF INTERFILE", "");
  return h;
}

std::vector<uint8_t> encodeInterfileInstant(const Phantom& ph, int instant) {
  const std::string why = formatLimits(ph.params, OutputFormat::Interfile);
  if (!why.empty()) throw std::invalid_argument(why);
  std::vector<uint8_t> out;
  for (uint16_t v : instantWords(ph, OutputFormat::Interfile, instant)) putU16le(out, v);
  return out;
}

std::vector<uint8_t> encodeIdb(const Phantom& ph) {
  const PhantomParams& p = ph.params;
  const std::string why = formatLimits(p, OutputFormat::Idb);
  if (!why.empty()) throw std::invalid_argument(why);
  std::vector<uint8_t> out(kIdbVoxelOffset, 0);
  // Name: capitals and spaces are all the reader keeps.
  size_t at = kIdbNameOffset;
  for (char c : p.patient.name) {
    if (at + 1 >= kIdbSexOffset) break;
    const char u = c == '^' ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (u == ' ' || (u >= 'A' && u <= 'Z')) out[at++] = static_cast<uint8_t>(u);
  }
  out[kIdbSexOffset] = static_cast<uint8_t>(p.patient.sex.empty() ? 'O' : p.patient.sex[0]);
  out[kIdbInstantsOffset] = static_cast<uint8_t>(p.instants);
  auto putFloatBe = [&](size_t off, float v) {
    const uint32_t b = std::bit_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) out[off + i] = static_cast<uint8_t>(b >> (24 - 8 * i));
  };
  putFloatBe(kIdbCycleOffset, static_cast<float>(cycleMs(p)));
  putFloatBe(kIdbPixelOffset, static_cast<float>(p.pixel_mm));
  const size_t slice = static_cast<size_t>(kMatrix) * kMatrix;
  out.reserve(kIdbVoxelOffset + static_cast<size_t>(p.instants) * kIdbSlices * slice * 2);
  for (int t = 0; t < p.instants; ++t) {
    const auto w = instantWords(ph, OutputFormat::Idb, t);
    for (uint16_t v : w) putU16be(out, v);
    // Missing slices up to the fixed 64 are empty.
    out.insert(out.end(), (kIdbSlices - p.slices) * slice * 2, 0);
  }
  return out;
}

namespace {
// Per segment: blood volume per instant and what its curve gives, read as the regional analysis
// reads a measured segment curve.
template <typename Volumes>
nlohmann::json segmentCurvesJson(const PhantomParams& p, const std::vector<Volumes>& ml, int segments) {
  nlohmann::json j;
  for (int k = 1; k <= segments; ++k) {
    SegmentResult r;
    for (int t = 0; t < p.instants; ++t) r.ml[t] = static_cast<float>(ml[t][k]);
    describeSegmentCurve(r, p.instants, 0, static_cast<float>(cycleMs(p) * p.instants));
    std::vector<double> perInstant;
    for (int t = 0; t < p.instants; ++t) perInstant.push_back(ml[t][k]);
    j["ml_per_instant"].push_back(perInstant);
    j["ef"].push_back(r.ef);
    j["time_to_min_pct"].push_back(r.timeToMinPct);
    j["time_to_min_ms"].push_back(r.timeToMinMs);
  }
  return j;
}

}  // namespace

nlohmann::json groundTruth(const Phantom& ph) {
  const PhantomParams& p = ph.params;
  const AnatomyParams& an = p.anatomy;
  nlohmann::json j;
  j["parameters"] = {
      {"matrix", p.matrix},
      {"pixel_mm", p.pixel_mm},
      {"slices", p.slices},
      {"slice_mm", p.slice_mm},
      {"instants", p.instants},
      {"heart_rate_bpm", p.heart_rate_bpm},
      {"cycle_ms_per_instant", cycleMs(p)},
      {"fwhm_mm", p.fwhm_mm},
      {"total_counts", p.total_counts},
      {"noise", p.noise ? "poisson" : "none"},
      {"noise_fwhm_mm", p.noise ? p.noise_fwhm_mm : 0.0},
      {"seed", p.seed},
      {"rotation_deg", p.rotation_deg},
      {"tilt_deg", p.tilt_deg},
      {"shift_row_mm", p.shift_row_mm},
      {"shift_column_mm", p.shift_column_mm},
      {"shift_slice_mm", p.shift_slice_mm},
      {"mirror_slices", p.mirror_slices},
      {"supersample", p.supersample},
      {"left_ventricle", curveJson(p.lv)},
      {"lv_wall_fault", faultJson(p.lv_fault)},
      {"rv_wall_fault", rvFaultJson(p.rv_fault)},
      {"right_ventricle", curveJson(p.rv)},
      {"anatomy",
       {{"lv_length_mm", an.lv_length_mm},
        {"lv_truncation", an.lv_truncation},
        {"base_descent_mm", an.base_descent_mm},
        {"septum_mm", an.septum_mm},
        {"rv_apex_extra_mm", an.rv_apex_extra_mm},
        {"rv_junction_mm", an.rv_junction_mm},
        {"atrial_gap_mm", an.atrial_gap_mm},
        {"la_min_ml", an.la_min_ml},
        {"ra_min_ml", an.ra_min_ml},
        {"atrial_share", an.atrial_share},
        {"aorta_radius_mm", an.aorta_radius_mm},
        {"pulmonary_radius_mm", an.pulmonary_radius_mm},
        {"outflow_radius_mm", an.outflow_radius_mm},
        {"liver_blood_fraction", an.liver_blood_fraction},
        {"spleen_blood_fraction", an.spleen_blood_fraction},
        {"lung_blood_fraction", an.lung_blood_fraction}}},
      {"patient",
       {{"name", p.patient.name},
        {"id", p.patient.id},
        {"sex", p.patient.sex},
        {"birth_date", p.patient.birth_date},
        {"study_date", p.patient.study_date},
        {"position", p.patient.position}}}};
  // Re-orientation: step 0 rotation (radians), then step 1 valves_angle (degrees, applied with
  // the factor 0.0175 rad per degree) return the heart to the default pose (still mirrored across
  // the slices when it was: the mirror turns the tilt the other way).
  const double seenTilt = p.mirror_slices ? -p.tilt_deg : p.tilt_deg;
  const double valves = 0.0 - seenTilt * kPi / 180.0 / kValveAngleRadPerDeg;  // 0.0 - x: no "-0" in the JSON
  // Heart origin (valve-plane centre on the septum at end-diastole) in voxels of the working pose.
  const double originRow = p.matrix / 2 + p.shift_row_mm / p.pixel_mm;
  const double originColumn = p.matrix / 2 + p.shift_column_mm / p.pixel_mm;
  const double originSlice = p.slices / 2 + p.shift_slice_mm / p.slice_mm;
  j["pose"] = {{"sampling", "instant i shows phase i / instants; instant 0 is end-diastole"},
               {"working_order", "DATA [instant][slice][row][column]; files store slices as file_slice_order says"},
               {"centre_row", p.matrix / 2},
               {"centre_column", p.matrix / 2},
               {"centre_slice", p.slices / 2},
               {"origin_row", originRow},
               {"origin_column", originColumn},
               {"origin_slice", originSlice},
               {"valve_plane_row_at_end_diastole", originRow},
               {"septum_column", originColumn},
               {"apex_row", originRow - an.lv_length_mm / p.pixel_mm},
               {"lv_apex_row_column_slice", lvApexWorking(p)},
               {"left_ventricle_side", "larger columns"},
               {"rv_outflow_side", p.mirror_slices ? "larger slices" : "smaller slices"},
               {"mirrored_across_slices", p.mirror_slices},
               {"undo_rotation_rad", 0.0 - p.rotation_deg * kPi / 180.0},
               {"undo_valves_angle_deg", valves},
               {"undo_valves_angle_steps", std::lround(valves)}};
  j["counts"] = {{"counts_per_ml_blood", ph.counts_per_ml},
                 {"max_stored", kMaxStoredCount},
                 {"clipped_voxels", ph.clipped_voxels},
                 {"note", "expected counts = ml of blood in the voxel after blur x counts_per_ml_blood"}};
  j["left_ventricle"] = ventricleTruth(ph, p.lv, ph.lv_true_ml, kLV);
  j["right_ventricle"] = ventricleTruth(ph, p.rv, ph.rv_true_ml, kRV);
  if (p.lv_fault.kind != WallFault::None) {
    j["lv_wall_fault"] = faultJson(p.lv_fault);
    j["lv_wall_fault"]["sectors"] = faultSectors(p);
    j["lv_wall_fault"]["mapping"] =
        "bull's-eye angle 0 along increasing slices, 90 degrees along increasing columns; radius from the apex, the "
        "apical fifth of the long axis on the inner quarter";
    j["left_ventricle"]["note"] =
        "the analytic volumes and parameters describe the healthy wall; the voxelised volumes include the fault";
  }
  j["right_ventricle"]["note"] = "crescent body only; the outflow tract is counted apart";
  if (p.rv_fault.kind != WallFault::None) {
    j["rv_wall_fault"] = rvFaultJson(p.rv_fault);
    j["rv_wall_fault"]["mapping"] =
        "a band of the free wall across the long axis, by thirds of the length from the crescent's tip to the "
        "end-diastolic valve plane: segment 2 basal, 4 mid, 6 apical (7 is the apex, the tenth nearest the tip)";
    j["right_ventricle"]["note"] =
        "crescent body only; the outflow tract is counted apart; the analytic volumes and parameters describe the "
        "healthy wall, the voxelised volumes include the fault";
  }
  j["left_ventricle"]["segments"] = segmentCurvesJson(p, lvSegmentVolumes(p), kLvSegments);
  j["left_ventricle"]["segments"]["numbering"] =
      "1-6 basal, 7-12 mid (anterior, anteroseptal, inferoseptal, inferior, inferolateral, anterolateral), 13-16 "
      "apical (anterior, septal, inferior, lateral), 17 apex";
  j["left_ventricle"]["segments"]["frame"] =
      "long axis from the apex to the centre of the end-diastolic valve plane; apex cap below 0.1 of it, thirds "
      "above; sixths from the anterior junction, 60 degrees from the septum towards the outflow tract";
  j["right_ventricle"]["segments"] = segmentCurvesJson(p, rvSegmentVolumes(p), kRvSegments);
  j["right_ventricle"]["segments"]["numbering"] =
      "1 basal septal, 2 basal free wall, 3 mid septal, 4 mid free wall, 5 apical septal, 6 apical free wall, 7 apex";
  j["right_ventricle"]["segments"]["frame"] =
      "long axis from the centroid of the end-diastolic tip to the centroid of the valve plane; apex cap below 0.1 "
      "of it, thirds above; septal within 90 degrees of the left ventricle's direction";
  if (p.lv_fault.kind == WallFault::Late)
    j["lv_wall_fault"]["delay_ms"] = p.lv_fault.delay_pct / 100.0 * cycleMs(p) * p.instants;
  nlohmann::json st;
  for (int s = 0; s < kStructureCount; ++s) {
    nlohmann::json v = nlohmann::json::array();
    for (const auto& inst : ph.voxelised_ml) v.push_back(inst[s]);
    st[structureName(s)] = v;
  }
  j["voxelised_structures_ml_per_instant"] = st;
  return j;
}

std::vector<std::filesystem::path> writeAcquisitions(const Phantom& ph, const std::filesystem::path& dir,
                                                     const std::string& base, const std::vector<OutputFormat>& formats) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) throw std::runtime_error("cannot create " + dir.string());
  for (OutputFormat f : formats) {
    const std::string why = formatLimits(ph.params, f);
    if (!why.empty()) throw std::invalid_argument(why);
  }
  const nlohmann::json truth = groundTruth(ph);
  std::vector<std::filesystem::path> written;
  for (OutputFormat f : formats) {
    std::filesystem::path path;
    switch (f) {
      case OutputFormat::DicomImplicit:
      case OutputFormat::DicomExplicit:
      case OutputFormat::DicomBig: {
        const TransferSyntax ts = f == OutputFormat::DicomImplicit ? kImplicitLittle
                                  : f == OutputFormat::DicomBig    ? kExplicitBig
                                                                   : kExplicitLittle;
        const char* suffix = f == OutputFormat::DicomImplicit ? "_il.dcm" : f == OutputFormat::DicomBig ? "_eb.dcm" : "_el.dcm";
        path = dir / (base + suffix);
        writeBytes(path, encodeDicom(ph, ts));
        break;
      }
      case OutputFormat::Interfile: {
        // One header per instant so that general readers find every instant; the loader uses the first.
        for (int t = 0; t < ph.params.instants; ++t) {
          char num[16];
          std::snprintf(num, sizeof num, "%02d", t + 1);
          const std::string img = base + num + ".img";
          writeBytes(dir / img, encodeInterfileInstant(ph, t));
          writeText(dir / (base + num + ".hdr"), encodeInterfileHeader(ph, img));
        }
        path = dir / (base + "01.img");
        break;
      }
      case OutputFormat::Idb:
        path = dir / (base + ".idb");
        writeBytes(path, encodeIdb(ph));
        break;
    }
    nlohmann::json t = truth;
    std::vector<int> order;
    for (int k = 0; k < ph.params.slices; ++k) order.push_back(fileSliceToWorking(ph.params, f, k));
    t["file"] = {{"format", formatName(f)}, {"path", path.filename().string()}, {"file_slice_order", order}};
    std::filesystem::path truthPath = path;
    truthPath.replace_extension(".truth.json");
    writeText(truthPath, t.dump(2) + "\n");
    written.push_back(path);
  }
  return written;
}

}  // namespace quorvel::phantom
