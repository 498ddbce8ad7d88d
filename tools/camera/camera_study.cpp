#include "camera/camera_study.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "base/byte_reader.h"
#include "phantom/writers.h"
#include "study/dicom_writer.h"

namespace quorvel::camera {

namespace {

constexpr double kTc99mKeV = 140.5;
constexpr double kWindowHalfWidth = 0.10;  // a 20 % energy window

uint64_t fnv1a(const std::string& s, uint64_t h = 1469598103934665603ULL) {
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ULL;
  return h;
}

nlohmann::json acquisitionJson(const AcquisitionParams& a) {
  return {{"angles", a.angles},
          {"orbit_deg", a.orbit_deg},
          {"radius_mm", a.radius_mm},
          {"collimator_fwhm_mm",
           {{"at_face", a.collimator.fwhm_face_mm}, {"per_mm_of_distance", a.collimator.fwhm_per_mm}}},
          {"activity_mbq", a.activity_mbq},
          {"blood_volume_ml", a.blood_volume_ml},
          {"sensitivity_cps_per_mbq", a.sensitivity_cps_per_mbq},
          {"seconds_per_angle", a.seconds_per_angle},
          {"scatter_fraction", a.scatter_fraction},
          {"scatter_fwhm_mm", a.scatter_fwhm_mm},
          {"body_half_axes_mm", {a.body_half_rows_mm, a.body_half_columns_mm}},
          {"attenuation", a.attenuation},
          {"mu_per_mm", {{"soft_tissue", kSoftTissueMuPerMm}, {"lung", kLungMuPerMm}}},
          {"noise", a.noise ? "poisson per projection bin" : "none"},
          {"seed", a.seed}};
}

nlohmann::json reconJson(const ReconParams& r) {
  return {{"method", "OSEM"},
          {"iterations", r.iterations},
          {"subsets", r.subsets},
          {"attenuation_correction", r.attenuation_correction},
          {"resolution_recovery", r.resolution_recovery},
          {"filter", filterName(r.filter)}};
}

}  // namespace

SimulatedStudy simulateStudy(phantom::PhantomParams p, const AcquisitionParams& a, const ReconParams& r,
                             const SimulationProgress& progress) {
  // The camera blurs and counts: the scene itself is sharp and noise-free.
  p.fwhm_mm = 0, p.noise = false;
  std::string why = phantom::validate(p);
  if (why.empty()) why = validate(a, p);
  if (why.empty()) why = validate(r, a.angles);
  if (!why.empty()) throw std::invalid_argument(why);
  auto report = [&](const char* stage, int done, int total) {
    if (progress) progress(stage, done, total);
  };
  SimulatedStudy s;
  s.acquisition = a, s.recon = r;
  s.phantom = phantom::buildPhantom(p);
  report("acquisition", 0, 1);
  // One voxelisation of the body for the acquisition and the correction.
  const std::vector<float> mu =
      a.attenuation || r.attenuation_correction ? attenuationMap(a, p) : std::vector<float>{};
  const Projections proj = acquire(s.phantom, a, mu);
  for (float c : proj.counts) s.projectionCounts += c;
  report("acquisition", 1, 1);
  ReconParams each = r;
  each.threads = a.threads;
  std::vector<float> volumes;
  {
    report("reconstruction", 0, p.instants);
    volumes = reconstructGated(proj, mu, a.collimator, each);
    report("reconstruction", p.instants, p.instants);
  }
  const float top = *std::max_element(volumes.begin(), volumes.end());
  if (!(top > 0)) throw std::invalid_argument("the reconstruction is empty");
  s.storedPerReconstructed = kCameraMaxStored / top;
  s.phantom.counts.resize(volumes.size());
  for (size_t i = 0; i < volumes.size(); ++i)
    s.phantom.counts[i] = static_cast<uint16_t>(std::lround(std::max(0.0, volumes[i] * s.storedPerReconstructed)));

  s.truth = phantom::groundTruth(s.phantom);
  nlohmann::json& params = s.truth["parameters"];
  for (const char* key : {"fwhm_mm", "total_counts", "noise", "noise_fwhm_mm"}) params.erase(key);
  s.truth.erase("counts");
  s.truth["acquisition"] = acquisitionJson(a);
  s.truth["acquisition"]["expected_primary_counts"] = proj.primaryCounts;
  s.truth["acquisition"]["expected_scatter_counts"] = proj.scatterCounts;
  s.truth["acquisition"]["projection_counts"] = s.projectionCounts;
  s.truth["reconstruction"] = reconJson(r);
  s.truth["reconstruction"]["stored_per_reconstructed_count"] = s.storedPerReconstructed;
  return s;
}

std::vector<uint8_t> encodeCameraDicom(const SimulatedStudy& s) {
  const phantom::PhantomParams& p = s.phantom.params;
  DicomDataSet ds = phantom::nmDataSet(s.phantom, kExplicitLittle);
  const std::string key =
      s.truth["parameters"].dump() + s.truth["acquisition"].dump() + s.truth["reconstruction"].dump();
  auto uid = [&](const std::string& what) { return uidFrom128(fnv1a(key + what), fnv1a(what + key, p.seed + 1)); };
  ds.addString(0x0008, 0x0070, "LO", "Quorvel camera simulator");
  ds.addString(0x0008, 0x103E, "LO", "Gated blood-pool SPECT, simulated");
  ds.addString(0x0020, 0x000D, "UI", uid("study"));
  ds.addString(0x0020, 0x000E, "UI", uid("series"));
  ds.addString(0x0020, 0x0052, "UI", uid("frame of reference"));
  ds.addString(0x0020, 0x1040, "LO", "");
  ds.addString(0x0008, 0x0050, "SH", "");
  ds.addString(0x0008, 0x0090, "PN", "");
  ds.addString(0x0018, 0x0070, "IS", "");
  ds.addString(0x0028, 0x0051, "CS", s.recon.attenuation_correction ? "ATTN" : "");
  ds.addString(0x0018, 0x1030, "LO", "Gated blood-pool tomography");
  // Detector: the first frame's upper-left voxel centre, rows along +x and columns along +y of the
  // patient; frames follow the orientation's normal by the spacing between slices.
  const double half = (p.matrix - 1) / 2.0 * p.pixel_mm, halfZ = (p.slices - 1) / 2.0 * p.slice_mm;
  DicomDataSet detector;
  const double position[3] = {-half, -half, -halfZ}, orientation[6] = {1, 0, 0, 0, 1, 0};
  detector.addDS(0x0020, 0x0032, position);
  detector.addDS(0x0020, 0x0037, orientation);
  detector.addString(0x0018, 0x1180, "SH", "LEHR");
  detector.addString(0x0018, 0x1181, "CS", "PARA");
  detector.addString(0x0018, 0x1147, "CS", "RECTANGLE");
  detector.addString(0x0018, 0x1149, "IS", "540\\400");
  detector.addString(0x0018, 0x1182, "IS", "");
  detector.addString(0x0018, 0x1183, "DS", "");
  detector.addDS(0x0018, 0x1184, std::array<double, 2>{0.0, 0.0});
  detector.addDS(0x0028, 0x0031, std::array<double, 2>{1.0, 1.0});
  detector.addString(0x0018, 0x1145, "DS", "");
  detector.addString(0x0018, 0x1120, "DS", "");
  std::vector<DicomDataSet> detectors{detector};
  ds.addSequence(0x0054, 0x0022, detectors);
  ds.addUS(0x0054, 0x0021, 1);
  // One 20 % window on technetium's photopeak.
  DicomDataSet range;
  range.addDS(0x0054, 0x0014, kTc99mKeV * (1 - kWindowHalfWidth));
  range.addDS(0x0054, 0x0015, kTc99mKeV * (1 + kWindowHalfWidth));
  DicomDataSet window;
  window.addSequence(0x0054, 0x0013, {range});
  window.addString(0x0054, 0x0018, "SH", "TC99M");
  ds.addSequence(0x0054, 0x0012, {window});
  ds.addUS(0x0054, 0x0011, 1);
  DicomDataSet drug;
  drug.addString(0x0018, 0x0031, "LO", "Tc-99m labelled red blood cells");
  drug.addDS(0x0018, 0x1074, s.acquisition.activity_mbq);
  drug.addString(0x0018, 0x1072, "TM", "");
  drug.addString(0x0018, 0x1071, "DS", "");
  drug.addSequence(0x0054, 0x0300, {});
  ds.addSequence(0x0054, 0x0016, {drug});
  ds.addString(0x0018, 0x0071, "CS", "TIME");
  // Frames by R-R interval (one), time slot and slice.
  const uint32_t pointers[3] = {0x00540060, 0x00540070, 0x00540080};
  ds.addAT(0x0028, 0x0009, pointers);
  ds.addUS(0x0054, 0x0060, std::vector<uint16_t>(static_cast<size_t>(p.instants) * p.slices, 1));
  ds.addUS(0x0054, 0x0061, 1);
  ds.addUS(0x0054, 0x0051, 1);
  // NM codes the patient's position instead of Patient Position.
  ds.remove(0x0018, 0x5100);
  ds.addString(0x0020, 0x0060, "CS", "");
  auto code = [](const char* value, const char* meaning) {
    DicomDataSet c;
    c.addString(0x0008, 0x0100, "SH", value);
    c.addString(0x0008, 0x0102, "SH", "SCT");
    c.addString(0x0008, 0x0104, "LO", meaning);
    return c;
  };
  DicomDataSet recumbent = code("102538003", "recumbent");
  recumbent.addSequence(0x0054, 0x0412, {code("40199007", "supine")});
  ds.addSequence(0x0054, 0x0410, {recumbent});
  const bool feetFirst = p.patient.position == "FFS";
  ds.addSequence(0x0054, 0x0414, {feetFirst ? code("102541007", "feet-first") : code("102540008", "headfirst")});
  // The orbit: its arc, angular step and time per angle.
  const AcquisitionParams& a = s.acquisition;
  DicomDataSet rotation;
  rotation.addDS(0x0054, 0x0200, 0.0);
  rotation.addDS(0x0018, 0x1144, a.orbit_deg / a.angles);
  rotation.addString(0x0018, 0x1140, "CS", "CW");
  rotation.addDS(0x0018, 0x1143, a.orbit_deg);
  rotation.addDS(0x0018, 0x1142, a.radius_mm);
  rotation.addIS(0x0018, 0x1242, std::lround(a.seconds_per_angle * 1000.0));
  rotation.addUS(0x0054, 0x0053, static_cast<uint16_t>(a.angles));
  ds.addSequence(0x0054, 0x0052, {rotation});
  // Gating: one R-R window cut into the instants.
  const double rrMs = 60000.0 / p.heart_rate_bpm;
  DicomDataSet beats;
  beats.addDS(0x0018, 0x1063, rrMs / p.instants);
  beats.addIS(0x0018, 0x1062, std::lround(rrMs));
  beats.addIS(0x0018, 0x1081, std::lround(rrMs * 0.8));
  beats.addIS(0x0018, 0x1082, std::lround(rrMs * 1.2));
  beats.addIS(0x0018, 0x1083, std::lround(a.seconds_per_angle * a.angles * 1000.0 / rrMs));
  beats.addIS(0x0018, 0x1084, 0);
  DicomDataSet gating;
  gating.addSequence(0x0054, 0x0063, {beats});
  ds.addSequence(0x0054, 0x0062, {gating});
  ds.addString(0x0018, 0x1061, "LO", "");
  return ds.encodePart10(kExplicitLittle, kNmImageStorageUid, uid("instance"));
}

std::filesystem::path writeCameraStudy(const SimulatedStudy& s, const std::filesystem::path& dir,
                                       const std::string& base) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) throw std::runtime_error("cannot create " + dir.string());
  const std::filesystem::path path = dir / (base + ".dcm");
  if (!writeFileAtomically(path, encodeCameraDicom(s))) throw std::runtime_error("cannot write " + path.string());
  nlohmann::json t = s.truth;
  std::vector<int> order;
  for (int k = 0; k < s.phantom.params.slices; ++k)
    order.push_back(phantom::fileSliceToWorking(s.phantom.params, phantom::OutputFormat::DicomExplicit, k));
  t["file"] = {{"format", "camera"}, {"path", path.filename().string()}, {"file_slice_order", order}};
  const std::filesystem::path truthPath = dir / (base + ".dcm.truth.json");
  if (!writeFileAtomically(truthPath, t.dump(2) + "\n")) throw std::runtime_error("cannot write " + truthPath.string());
  return path;
}

}  // namespace quorvel::camera
