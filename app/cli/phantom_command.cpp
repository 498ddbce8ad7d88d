// quorvel-cli phantom: writes the digital gated blood-pool phantom and its ground truth.
#include <iostream>
#include <memory>
#include <stdexcept>

#include "commands.h"
#include "phantom/phantom.h"
#include "phantom/writers.h"

namespace quorvel::cli {

namespace {

struct PhantomCommandState {
  phantom::PhantomParams p = phantom::defaultParams(64);
  std::string out;
  std::string base = "phantom";
  std::vector<std::string> formats = {"dicom-il", "dicom-el", "dicom-eb", "interfile", "idb"};
  double pixel = 0, sliceMm = 0;  // 0: the matrix's default
  int slices = 0;
  std::string fault = "none", rvFault = "none";
};

void addVentricleOptions(CLI::App* cmd, phantom::VolumeCurveParams& c, const std::string& pre, const std::string& who) {
  cmd->add_option("--" + pre + "-edv", c.edv_ml, who + " end-diastolic volume (ml)")->capture_default_str();
  cmd->add_option("--" + pre + "-ef", c.ef_percent, who + " ejection fraction (%)")->capture_default_str();
  cmd->add_option("--" + pre + "-es", c.es_phase_pct, who + " end-systole time (% of the cycle)")->capture_default_str();
  cmd->add_option("--" + pre + "-rapid-fraction", c.rapid_fraction,
                  who + " share of the stroke volume refilled by rapid filling (0..1)")
      ->capture_default_str();
  cmd->add_option("--" + pre + "-rapid-duration", c.rapid_duration_pct,
                  who + " rapid filling duration from end-systole (% of the cycle)")
      ->capture_default_str();
  cmd->add_option("--" + pre + "-atrial-fraction", c.atrial_fraction,
                  who + " share refilled by the atrial kick (0..1; diastasis gets the rest)")
      ->capture_default_str();
  cmd->add_option("--" + pre + "-atrial-start", c.atrial_start_pct,
                  who + " start of the atrial kick (% of the cycle; it ends at end-diastole)")
      ->capture_default_str();
}

int run(PhantomCommandState& st) {
  phantom::PhantomParams p = st.p;
  if (st.pixel > 0) p.pixel_mm = st.pixel;
  else p.pixel_mm = phantom::defaultParams(p.matrix).pixel_mm;
  p.slices = st.slices > 0 ? st.slices : p.matrix;
  p.slice_mm = st.sliceMm > 0 ? st.sliceMm : p.pixel_mm;
  auto kindNamed = [](const std::string& name) {
    return name == "akinetic"      ? phantom::WallFault::Akinetic
           : name == "late"        ? phantom::WallFault::Late
           : name == "hypokinetic" ? phantom::WallFault::Hypokinetic
           : name == "dyskinetic"  ? phantom::WallFault::Dyskinetic
                                   : phantom::WallFault::None;
  };
  p.lv_fault.kind = kindNamed(st.fault);
  p.rv_fault.kind = kindNamed(st.rvFault);
  std::vector<phantom::OutputFormat> formats;
  for (const std::string& name : st.formats) {
    phantom::OutputFormat f;
    if (!phantom::parseFormat(name, f)) {
      std::cerr << "phantom: unknown format " << name << "\n";
      return 2;
    }
    const std::string why = phantom::formatLimits(p, f);
    if (!why.empty()) {
      std::cerr << "phantom: " << why << "\n";
      return 2;
    }
    formats.push_back(f);
  }
  const std::string why = phantom::validate(p);
  if (!why.empty()) {
    std::cerr << "phantom: " << why << "\n";
    return 2;
  }
  try {
    const phantom::Phantom ph = phantom::buildPhantom(p);
    for (const auto& path : phantom::writeAcquisitions(ph, st.out, st.base, formats)) std::cout << path.string() << "\n";
    if (ph.clipped_voxels > 0)
      std::cerr << "phantom: " << ph.clipped_voxels << " voxels clipped at " << phantom::kMaxStoredCount
                << " counts; lower --counts\n";
  } catch (const std::exception& e) {
    std::cerr << "phantom: " << e.what() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

void registerPhantomCommand(CLI::App& app, int& status) {
  auto st = std::make_shared<PhantomCommandState>();
  phantom::PhantomParams& p = st->p;
  CLI::App* cmd = app.add_subcommand(
      "phantom",
      "Write a digital gated blood-pool tomography with known volumes, and a ground-truth JSON beside each file");
  cmd->add_option("--out", st->out, "Output folder (created when missing)")->required();
  cmd->add_option("--name", st->base, "Base name of the files")->capture_default_str();
  cmd->add_option("--formats", st->formats,
                  "Files to write: dicom-il (implicit VR LE), dicom-el (explicit VR LE), dicom-eb (explicit VR BE), "
                  "interfile, idb")
      ->capture_default_str()
      ->delimiter(',');
  cmd->add_option("--matrix", p.matrix, "Matrix side (voxels): 64 or 128")->capture_default_str()->check(CLI::IsMember({64, 128}));
  cmd->add_option("--pixel", st->pixel, "Pixel size (mm); default 6.8 at 64, 3.4 at 128");
  cmd->add_option("--slices", st->slices, "Slices per instant; default: the matrix side");
  cmd->add_option("--slice-thickness", st->sliceMm, "Slice thickness (mm); default: the pixel size");
  cmd->add_option("--instants", p.instants, "Instants per cycle: 8 or 16")->capture_default_str()->check(CLI::IsMember({8, 16}));
  cmd->add_option("--heart-rate", p.heart_rate_bpm, "Heart rate (bpm)")->capture_default_str();
  cmd->add_option("--fwhm", p.fwhm_mm, "3D Gaussian blur FWHM (mm); 0 for none")->capture_default_str();
  cmd->add_option("--counts", p.total_counts, "Expected total counts over all instants")->capture_default_str();
  cmd->add_flag("--noise-free", [&p](int64_t n) { p.noise = n == 0; }, "Store rounded expected counts, no Poisson noise");
  cmd->add_option("--noise-fwhm", p.noise_fwhm_mm,
                  "Correlation of the noise by the reconstruction filter, Gaussian FWHM (mm); 0 for white noise")
      ->capture_default_str();
  cmd->add_option("--seed", p.seed, "Seed of the Poisson noise")->capture_default_str();
  cmd->add_option("--rotation", p.rotation_deg, "In-plane rotation of the heart about the matrix centre (degrees)")
      ->capture_default_str();
  cmd->add_option("--tilt", p.tilt_deg, "Tilt of the valve plane in the (row, slice) plane (degrees)")->capture_default_str();
  cmd->add_option("--shift-rows", p.shift_row_mm, "Shift of the whole scene towards larger rows (mm)")
      ->capture_default_str();
  cmd->add_option("--shift-columns", p.shift_column_mm, "Shift of the whole scene towards larger columns (mm)")
      ->capture_default_str();
  cmd->add_option("--shift-slices", p.shift_slice_mm, "Shift of the whole scene towards larger slices (mm)")
      ->capture_default_str();
  cmd->add_flag("--mirror-slices", p.mirror_slices,
                "Mirror the scene across the slices, as a file whose slice order does not match its patient position");
  cmd->add_option("--supersample", p.supersample, "Sub-samples per voxel edge for the voxelisation")->capture_default_str();
  addVentricleOptions(cmd, p.lv, "lv", "Left ventricle:");
  addVentricleOptions(cmd, p.rv, "rv", "Right ventricle:");
  cmd->add_option("--lv-length", p.anatomy.lv_length_mm, "Left ventricle apex-to-valve length at end-diastole (mm)")
      ->capture_default_str();
  cmd->add_option("--base-descent", p.anatomy.base_descent_mm, "Valve-plane travel towards the apex over the stroke (mm)")
      ->capture_default_str();
  cmd->add_option("--septum", p.anatomy.septum_mm, "Septal thickness (mm)")->capture_default_str();
  cmd->add_option("--atrial-gap", p.anatomy.atrial_gap_mm,
                  "Band of background between the valve plane and the atria (mm); 0: the atria touch the base")
      ->capture_default_str();
  cmd->add_option("--lv-fault", st->fault,
                  "Left-ventricular wall fault: none, akinetic (the region does not move), hypokinetic (40 % of the "
                  "motion), dyskinetic (bulges out in systole) or late (its systole ends late)")
      ->capture_default_str()
      ->check(CLI::IsMember({"none", "akinetic", "hypokinetic", "dyskinetic", "late"}));
  cmd->add_option("--lv-fault-sector", p.lv_fault.sector,
                  "Sector of the 17-sector bull's-eye at the fault's centre: 1 apex, 2-5 apical, 6-11 mid, 12-17 basal")
      ->capture_default_str();
  cmd->add_option("--lv-fault-size", p.lv_fault.size, "Radius of the faulty region (fraction of the bull's-eye radius)")
      ->capture_default_str();
  cmd->add_option("--lv-fault-delay", p.lv_fault.delay_pct, "Late region: delay of its end of systole (% of the cycle)")
      ->capture_default_str();
  cmd->add_option("--rv-fault", st->rvFault,
                  "Right free-wall fault: none, akinetic, hypokinetic (40 % of the motion) or dyskinetic "
                  "(bulges out in systole)")
      ->capture_default_str()
      ->check(CLI::IsMember({"none", "akinetic", "hypokinetic", "dyskinetic"}));
  cmd->add_option("--rv-fault-segment", p.rv_fault.segment,
                  "Free-wall segment of the right ventricle at the fault's centre: 2 basal, 4 mid, 6 apical")
      ->capture_default_str()
      ->check(CLI::IsMember({2, 4, 6}));
  cmd->add_option("--rv-fault-size", p.rv_fault.size, "Length of the faulty band (share of the ventricle's length)")
      ->capture_default_str();
  cmd->add_option("--patient-name", p.patient.name, "Patient name (DICOM PN)")->capture_default_str();
  cmd->add_option("--patient-id", p.patient.id, "Patient ID")->capture_default_str();
  cmd->add_option("--patient-sex", p.patient.sex, "Patient sex: M, F or O")->capture_default_str()->check(CLI::IsMember({"M", "F", "O"}));
  cmd->add_option("--birth-date", p.patient.birth_date, "Birth date (YYYYMMDD)")->capture_default_str();
  cmd->add_option("--study-date", p.patient.study_date, "Study date (YYYYMMDD)")->capture_default_str();
  cmd->add_option("--patient-position", p.patient.position, "Patient position: HFS or FFS")
      ->capture_default_str()
      ->check(CLI::IsMember({"HFS", "FFS"}));
  cmd->callback([st, &status] { status = run(*st); });
}

}  // namespace quorvel::cli
