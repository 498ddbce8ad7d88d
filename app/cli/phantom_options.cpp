#include "phantom_options.h"

namespace quorvel::cli {

namespace {

void addVentricleOptions(CLI::App* cmd, phantom::VolumeCurveParams& c, const std::string& pre, const std::string& who) {
  cmd->add_option("--" + pre + "-edv", c.edv_ml, who + " end-diastolic volume (ml)")->capture_default_str();
  cmd->add_option("--" + pre + "-ef", c.ef_percent, who + " ejection fraction (%)")->capture_default_str();
  cmd->add_option("--" + pre + "-es", c.es_phase_pct, who + " end-systole time (% of the cycle)")
      ->capture_default_str();
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

}  // namespace

void addSceneOptions(CLI::App* cmd, PhantomOptions& o) {
  cmd->add_option("--matrix", o.p.matrix, "Matrix side (voxels): 64 or 128")
      ->capture_default_str()
      ->check(CLI::IsMember({64, 128}));
  cmd->add_option("--pixel", o.pixel, "Pixel size (mm); default 6.8 at 64, 3.4 at 128");
  cmd->add_option("--slices", o.slices, "Slices per instant; default: the matrix side");
  cmd->add_option("--slice-thickness", o.sliceMm, "Slice thickness (mm); default: the pixel size");
  cmd->add_option("--instants", o.p.instants, "Instants per cycle: 8 or 16")
      ->capture_default_str()
      ->check(CLI::IsMember({8, 16}));
  cmd->add_option("--heart-rate", o.p.heart_rate_bpm, "Heart rate (bpm)")->capture_default_str();
  cmd->add_option("--seed", o.p.seed, "Seed of the Poisson noise")->capture_default_str();
  cmd->add_option("--rotation", o.p.rotation_deg, "In-plane rotation of the heart about the matrix centre (degrees)")
      ->capture_default_str();
  cmd->add_option("--tilt", o.p.tilt_deg, "Tilt of the valve plane in the (row, slice) plane (degrees)")
      ->capture_default_str();
  cmd->add_option("--shift-rows", o.p.shift_row_mm, "Shift of the whole scene towards larger rows (mm)")
      ->capture_default_str();
  cmd->add_option("--shift-columns", o.p.shift_column_mm, "Shift of the whole scene towards larger columns (mm)")
      ->capture_default_str();
  cmd->add_option("--shift-slices", o.p.shift_slice_mm, "Shift of the whole scene towards larger slices (mm)")
      ->capture_default_str();
  cmd->add_flag("--mirror-slices", o.p.mirror_slices,
                "Mirror the scene across the slices, as a file whose slice order does not match its patient position");
  cmd->add_option("--supersample", o.p.supersample, "Sub-samples per voxel edge for the voxelisation")
      ->capture_default_str();
  addVentricleOptions(cmd, o.p.lv, "lv", "Left ventricle:");
  addVentricleOptions(cmd, o.p.rv, "rv", "Right ventricle:");
  cmd->add_option("--lv-length", o.p.anatomy.lv_length_mm, "Left ventricle apex-to-valve length at end-diastole (mm)")
      ->capture_default_str();
  cmd->add_option("--base-descent", o.p.anatomy.base_descent_mm,
                  "Valve-plane travel towards the apex over the stroke (mm)")
      ->capture_default_str();
  cmd->add_option("--septum", o.p.anatomy.septum_mm, "Septal thickness (mm)")->capture_default_str();
  cmd->add_option("--atrial-gap", o.p.anatomy.atrial_gap_mm,
                  "Band of background between the valve plane and the atria (mm); 0: the atria touch the base")
      ->capture_default_str();
  cmd->add_option("--lv-fault", o.fault,
                  "Left-ventricular wall fault: none, akinetic (the region does not move), hypokinetic (40 % of the "
                  "motion), dyskinetic (bulges out in systole) or late (its systole ends late)")
      ->capture_default_str()
      ->check(CLI::IsMember({"none", "akinetic", "hypokinetic", "dyskinetic", "late"}));
  cmd->add_option("--lv-fault-sector", o.p.lv_fault.sector,
                  "Sector of the 17-sector bull's-eye at the fault's centre: 1 apex, 2-5 apical, 6-11 mid, 12-17 basal")
      ->capture_default_str();
  cmd->add_option("--lv-fault-size", o.p.lv_fault.size,
                  "Radius of the faulty region (fraction of the bull's-eye radius)")
      ->capture_default_str();
  cmd->add_option("--lv-fault-delay", o.p.lv_fault.delay_pct,
                  "Late region: delay of its end of systole (% of the cycle)")
      ->capture_default_str();
  cmd->add_option("--rv-fault", o.rvFault,
                  "Right free-wall fault: none, akinetic, hypokinetic (40 % of the motion) or dyskinetic "
                  "(bulges out in systole)")
      ->capture_default_str()
      ->check(CLI::IsMember({"none", "akinetic", "hypokinetic", "dyskinetic"}));
  cmd->add_option("--rv-fault-segment", o.p.rv_fault.segment,
                  "Free-wall segment of the right ventricle at the fault's centre: 2 basal, 4 mid, 6 apical")
      ->capture_default_str()
      ->check(CLI::IsMember({2, 4, 6}));
  cmd->add_option("--rv-fault-size", o.p.rv_fault.size, "Length of the faulty band (share of the ventricle's length)")
      ->capture_default_str();
  cmd->add_option("--patient-name", o.p.patient.name, "Patient name (DICOM PN)")->capture_default_str();
  cmd->add_option("--patient-id", o.p.patient.id, "Patient ID")->capture_default_str();
  cmd->add_option("--patient-sex", o.p.patient.sex, "Patient sex: M, F or O")
      ->capture_default_str()
      ->check(CLI::IsMember({"M", "F", "O"}));
  cmd->add_option("--birth-date", o.p.patient.birth_date, "Birth date (YYYYMMDD)")->capture_default_str();
  cmd->add_option("--study-date", o.p.patient.study_date, "Study date (YYYYMMDD)")->capture_default_str();
  cmd->add_option("--patient-position", o.p.patient.position, "Patient position: HFS or FFS")
      ->capture_default_str()
      ->check(CLI::IsMember({"HFS", "FFS"}));
}

void addImageSpaceOptions(CLI::App* cmd, PhantomOptions& o) {
  cmd->add_option("--fwhm", o.p.fwhm_mm, "3D Gaussian blur FWHM (mm); 0 for none")->capture_default_str();
  cmd->add_option("--counts", o.p.total_counts, "Expected total counts over all instants")->capture_default_str();
  cmd->add_flag(
      "--noise-free", [&o](int64_t n) { o.p.noise = n == 0; }, "Store rounded expected counts, no Poisson noise");
  cmd->add_option("--noise-fwhm", o.p.noise_fwhm_mm,
                  "Correlation of the noise by the reconstruction filter, Gaussian FWHM (mm); 0 for white noise")
      ->capture_default_str();
}

phantom::PhantomParams phantomParamsOf(const PhantomOptions& o) {
  phantom::PhantomParams p = o.p;
  if (o.pixel > 0)
    p.pixel_mm = o.pixel;
  else
    p.pixel_mm = phantom::defaultParams(p.matrix).pixel_mm;
  p.slices = o.slices > 0 ? o.slices : p.matrix;
  p.slice_mm = o.sliceMm > 0 ? o.sliceMm : p.pixel_mm;
  auto kindNamed = [](const std::string& name) {
    return name == "akinetic"      ? phantom::WallFault::Akinetic
           : name == "late"        ? phantom::WallFault::Late
           : name == "hypokinetic" ? phantom::WallFault::Hypokinetic
           : name == "dyskinetic"  ? phantom::WallFault::Dyskinetic
                                   : phantom::WallFault::None;
  };
  p.lv_fault.kind = kindNamed(o.fault);
  p.rv_fault.kind = kindNamed(o.rvFault);
  return p;
}

}  // namespace quorvel::cli
