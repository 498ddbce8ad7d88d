// The phantom's files, read by real peers (DCMTK, XMedCon), by the project's own loader, and
// byte by byte; and the command line that writes them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "base/byte_reader.h"
#include "base/scripted_platform.h"
#include "base/trace_log.h"
#include "phantom/phantom.h"
#include "phantom/writers.h"
#include "study/dicom_reader.h"
#include "study/dicom_writer.h"
#include "run_command.h"
#include "study/loading.h"

namespace quorvel::phantom {
namespace {

namespace fs = std::filesystem;

using quorvel::testing::Outcome;
using quorvel::testing::run;

std::vector<uint8_t> readAll(const fs::path& p) {
  auto v = readWholeFile(p);
  return v ? *v : std::vector<uint8_t>{};
}

// One default phantom written in every format, shared by the tests of this file.
class PhantomFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // One folder per process: ctest runs the cases of this suite in parallel processes.
    dir_ = new fs::path(fs::path(QUORVEL_TEST_TMP) / ("phantom_files_" + std::to_string(::getpid())));
    fs::remove_all(*dir_);
    ph_ = new Phantom(buildPhantom(defaultParams(64)));
    writeAcquisitions(*ph_, *dir_, "ph",
                      {OutputFormat::DicomImplicit, OutputFormat::DicomExplicit, OutputFormat::DicomBig,
                       OutputFormat::Interfile, OutputFormat::Idb});
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    fs::remove_all(*dir_, ec);
    delete ph_;
    delete dir_;
  }
  static const Phantom& ph() { return *ph_; }
  static fs::path dir() { return *dir_; }

  static inline Phantom* ph_ = nullptr;
  static inline fs::path* dir_ = nullptr;
};

const std::array<std::pair<const char*, const char*>, 3> kDicomVariants = {
    {{"ph_il.dcm", "=LittleEndianImplicit"}, {"ph_el.dcm", "=LittleEndianExplicit"}, {"ph_eb.dcm", "=BigEndianExplicit"}}};

TEST_F(PhantomFiles, DcmdumpReadsEveryDicomVariantAndShowsTheTags) {
  for (const auto& [file, syntax] : kDicomVariants) {
    const Outcome r = run(std::string(QUORVEL_DCMDUMP) + " -q " + (dir() / file).string());
    ASSERT_EQ(r.status, 0) << file << "\n" << r.out;
    EXPECT_EQ(r.out.find("E: "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("W: "), std::string::npos) << r.out;
    for (const char* tag : {"(0002,0010) UI ", "(0028,0008) IS [512]", "(0054,0071) US 8", "(0054,0081) US 64",
                            "(0018,1088) IS [70]", "(0028,0030) DS [6.8\\6.8]", "(0018,0050) DS [6.8]",
                            "(0010,0010) PN [PHANTOM^GATED]", "(0010,0020) LO [QPH0001]", "(0018,5100) CS [HFS]",
                            "(0028,0010) US 64", "(0008,0060) CS [NM]", "(7fe0,0010) OW ", "# 4194304, 1 PixelData"})
      EXPECT_NE(r.out.find(tag), std::string::npos) << file << " lacks " << tag;
    EXPECT_NE(r.out.find(syntax), std::string::npos) << file;
  }
}

// Data set bytes behind the meta group.
std::vector<uint8_t> dataSet(const std::vector<uint8_t>& file) {
  const ByteReader r(file);
  const auto len = r.u32le(140);
  if (!len || 144 + *len > file.size()) return {};
  return std::vector<uint8_t>(file.begin() + 144 + *len, file.end());
}

TEST_F(PhantomFiles, DcmconvConversionsGiveOurOwnEncodingOfEachSyntax) {
  // DCMTK re-encodes each of our files in each syntax; every value and length must come out exactly
  // as our writer encodes it in that syntax.
  const std::array<std::pair<const char*, const char*>, 3> target = {
      {{"+ti", "ph_il.dcm"}, {"+te", "ph_el.dcm"}, {"+tb", "ph_eb.dcm"}}};
  for (const auto& [src, ignored] : kDicomVariants)
    for (const auto& [opt, ours] : target) {
      const fs::path out = dir() / (std::string("conv_") + opt + src);
      const Outcome r = run(std::string(QUORVEL_DCMCONV) + " " + opt + " " + (dir() / src).string() + " " + out.string());
      ASSERT_EQ(r.status, 0) << r.out;
      const auto a = dataSet(readAll(out)), b = dataSet(readAll(dir() / ours));
      ASSERT_FALSE(b.empty());
      EXPECT_TRUE(a == b) << src << " converted with " << opt << " differs from " << ours;
    }
}

TEST_F(PhantomFiles, ReaderHeaderOfEveryVariantGivesTheGeometry) {
  for (const auto& [file, syntax] : kDicomVariants) {
    TraceLog log;
    Options opt;
    StudyRecord s;
    Notices notices;
    ASSERT_TRUE(LOAD_DCM_DATA(dir() / file, s, opt, log, notices).ok()) << file;
    EXPECT_EQ(s.Ninst, 8);
    EXPECT_EQ(s.NCZ, 64);
    EXPECT_EQ(s.OrImSize_H, 64);
    EXPECT_NEAR(s.VOXEL_SIZE_XY, 0.68f, 1e-6);
    EXPECT_NEAR(s.VOXEL_SIZE_Z, 0.68f, 1e-6);
    EXPECT_EQ(s.CARD_FREQ_INT, 70);
    EXPECT_EQ(s.HEART_RATE, 1);
    EXPECT_EQ(s.patient_orientation, 0);
    EXPECT_EQ(s.PAT_NAME, "PHANTOM GATED ");  // the even-length padding space is kept by the reader
    EXPECT_EQ(static_cast<size_t>(s.OFFSET_LEC) + 8u * 64 * 4096 * 2, fs::file_size(dir() / file));
  }
}

TEST_F(PhantomFiles, LoaderGivesTheSameDataForEveryDicomVariant) {
  for (const auto& [file, syntax] : kDicomVariants) {
    ScriptedPlatform platform;
    TraceLog log;
    StudyWorkspace w;
    ASSERT_TRUE(readAcquisition(dir() / file, 1, w, log).ok()) << file;
    const Study& s = w.study;
    ASSERT_EQ(s.Ninst, 8);
    ASSERT_EQ(s.NCZ, 64);
    ASSERT_EQ(s.DATA.size(), ph().counts.size());
    // Head first: the loader's slice reversal restores the working pose; end-diastole stays instant 0.
    size_t diff = 0;
    for (size_t i = 0; i < s.DATA.size(); ++i) diff += s.DATA[i] != static_cast<float>(ph().counts[i]);
    EXPECT_EQ(diff, 0u) << file;
  }
}

TEST_F(PhantomFiles, InterfileIsReadByMedconAndHoldsTheReaderKeys) {
  const auto& p = ph().params;
  for (int t = 0; t < p.instants; ++t) {
    char num[16];
    std::snprintf(num, sizeof num, "%02d", t + 1);
    const fs::path hdr = dir() / (std::string("ph") + num + ".hdr"), img = dir() / (std::string("ph") + num + ".img");
    const fs::path out = dir() / (std::string("medcon_") + num);
    const Outcome r = run("cd " + dir().string() + " && " + QUORVEL_MEDCON + " -f " + hdr.string() + " -c bin -o " + out.string());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("WARNING"), std::string::npos) << r.out;
    const auto fromMedcon = readAll(out.string() + ".bin");
    const auto raw = readAll(img);
    ASSERT_EQ(raw.size(), size_t(p.slices) * 4096 * 2);
    EXPECT_TRUE(fromMedcon == raw) << "instant " << t;
    // Raw file: working-pose slices, unsigned 16-bit little endian.
    const ByteReader br(raw);
    size_t diff = 0;
    for (size_t i = 0; i < raw.size() / 2; ++i) diff += *br.u16le(2 * i) != ph().counts[ph().index(t, 0, 0, 0) + i];
    EXPECT_EQ(diff, 0u);
  }
  // The loader's key rules: value right behind ":=", fixed widths.
  const auto h = readAll(dir() / "ph01.hdr");
  const std::string text(h.begin(), h.end());
  auto valueAfter = [&](const std::string& key, size_t n) {
    const size_t at = text.rfind(key);
    return at == std::string::npos ? std::string("<missing>") : text.substr(at + key.size(), n);
  };
  EXPECT_EQ(valueAfter("!number of slices :=", 2), "64");
  EXPECT_EQ(valueAfter("scaling factor (mm/pixel) [1] :=", 5), "6.800");
  EXPECT_EQ(valueAfter("scaling factor (mm/pixel) [2] :=", 5), "6.800");
  EXPECT_EQ(valueAfter("patient dob :=", 10), "1960:01:01");
  EXPECT_EQ(valueAfter("study date :=", 10), "2024:01:15");
  EXPECT_EQ(valueAfter("patient sex :=", 1), "M");
  EXPECT_EQ(valueAfter("patient name :=", 13), "PHANTOM^GATED");
}

TEST_F(PhantomFiles, IdbHoldsItsFixedLayout) {
  const auto f = readAll(dir() / "ph.idb");
  const ByteReader r(f);
  ASSERT_GE(f.size(), 4194304u);
  EXPECT_EQ(f.size(), kIdbVoxelOffset + 8u * 64 * 4096 * 2);
  EXPECT_EQ(*r.u8(kIdbInstantsOffset), 8);
  EXPECT_EQ(*r.u8(kIdbSexOffset), 'M');
  EXPECT_NEAR(*r.f32be(kIdbCycleOffset), 60000.0 / (8 * 70), 1e-3);
  EXPECT_NEAR(*r.f32be(kIdbPixelOffset), 6.8f, 1e-6);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f[kIdbNameOffset])), "PHANTOM GATED");
  size_t diff = 0;
  for (size_t i = 0; i < ph().counts.size(); ++i) diff += *r.u16be(kIdbVoxelOffset + 2 * i) != ph().counts[i];
  EXPECT_EQ(diff, 0u);
}

// Our Interfile and IDB files, and medcon's Interfile of our DICOM (one header, one data file with
// every instant, in the DICOM file's slice order), load to the study the DICOM file gives.
TEST_F(PhantomFiles, InterfileIdbAndMedconInterfileLoadAsTheDicom) {
  const Outcome mc = run("cd " + dir().string() + " && " + QUORVEL_MEDCON + " -f ph_el.dcm -c intf -o mc");
  ASSERT_EQ(mc.status, 0) << mc.out;
  TraceLog log;
  StudyWorkspace ref;
  ASSERT_TRUE(readAcquisition(dir() / "ph_el.dcm", kFormatDicom, ref, log).ok());
  // IDB keeps the slices of the first instant holding counts; Interfile carries no heart rate.
  const struct {
    const char* file;
    bool reversed, rate;
  } files[] = {{"ph01.img", false, false}, {"ph01.hdr", false, false}, {"ph.idb", false, true},
               {"mc.h33", true, false},    {"mc.i33", true, false}};
  // The open dialog lists each under its own format, and "all files" reads each by its extension.
  const std::vector<FileFilter> filters = acquisitionFilters(kEnglish);
  ASSERT_EQ(filters.size(), static_cast<size_t>(kFilterAllFiles));
  EXPECT_EQ(filters[kFilterAllFiles - 1].pattern, "*");
  for (const auto& [file, reversed, rate] : files) {
    const std::string pattern = "*" + std::filesystem::path(file).extension().string();
    EXPECT_NE(filters[acquisitionFormatOf(file) - 1].pattern.find(pattern), std::string::npos) << file;
    StudyWorkspace w;
    const Status st = readAcquisition(dir() / file, kFilterAllFiles, w, log);
    ASSERT_TRUE(st.ok()) << file << ": " << st.refusal().en;
    const Study &a = w.study, &b = ref.study;
    ASSERT_EQ(a.Ninst, b.Ninst) << file;
    ASSERT_LE(a.czmin + a.NCZ, b.NCZ) << file;
    EXPECT_GT(a.NCZ, 32) << file;
    EXPECT_FLOAT_EQ(a.VOXEL_SIZE_XY, b.VOXEL_SIZE_XY) << file;
    EXPECT_FLOAT_EQ(a.VOXEL_SIZE_Z, b.VOXEL_SIZE_Z) << file;
    EXPECT_EQ(a.pat_sex, b.pat_sex) << file;
    EXPECT_EQ(a.HEART_RATE, rate ? 1 : 0) << file;
    if (rate) {
      EXPECT_NEAR(a.CYCLE, b.CYCLE, 1e-3) << file;
    }
    size_t diff = 0;
    for (int t = 0; t < a.Ninst; ++t)
      for (int z = 0; z < a.NCZ; ++z)
        for (int x = 0; x < kMatrix; ++x)
          for (int y = 0; y < kMatrix; ++y)
            diff += a.at(t, z, x, y) != b.at(t, a.czmin + (reversed ? a.NCZ - 1 - z : z), x, y);
    EXPECT_EQ(diff, 0u) << file;
  }
}

TEST_F(PhantomFiles, AnalyseGivesTheSameVolumesFromEveryFormat) {
  auto analyse = [&](const std::string& file) {
    const fs::path json = dir() / (file + ".json");
    const Outcome r = run("QUORVEL_HOME=" + dir().string() + " " + QUORVEL_CLI + " analyse " + (dir() / file).string() +
                          " --heart-rate 70 --placement default --json " + json.string());
    EXPECT_EQ(r.status, 0) << file << "\n" << r.out;
    std::ifstream in(json);
    return nlohmann::json::parse(in, nullptr, false);
  };
  const nlohmann::json dicom = analyse("ph_el.dcm");
  ASSERT_TRUE(dicom.contains("volG"));
  for (const char* file : {"ph01.img", "ph.idb"}) {
    const nlohmann::json j = analyse(file);
    EXPECT_EQ(j.value("volG", nlohmann::json()), dicom["volG"]) << file;
    EXPECT_EQ(j.value("volD", nlohmann::json()), dicom["volD"]) << file;
    EXPECT_EQ(j.value("G_FES", -1.0), dicom["G_FES"].get<double>()) << file;
  }
  std::ifstream truthFile(dir() / "ph_el.truth.json");
  const nlohmann::json truth = nlohmann::json::parse(truthFile);
  EXPECT_NEAR(dicom["G_FES"].get<double>(), truth["left_ventricle"]["ejection_fraction_percent"].get<double>(), 5.0);
}

// medcon writes every decimal string with a sign and an exponent (+1.200000e+01): its rewrite
// of our file must give the same voxel size, the same counts and the same volumes.
TEST(MedconRewrite, DecimalStringsWithExponentsGiveTheVoxelSizeAndTheVolumes) {
  const fs::path dir = fs::path(QUORVEL_TEST_TMP) / ("medcon_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  for (const double mm : {3.4, 6.4, 12.0}) {
    SCOPED_TRACE(mm);
    PhantomParams p = defaultParams(64);
    p.pixel_mm = p.slice_mm = mm;
    const std::string name = "p" + std::to_string(static_cast<int>(mm * 10));
    const fs::path ours = writeAcquisitions(buildPhantom(p), dir, name, {OutputFormat::DicomExplicit}).at(0);
    const fs::path theirs = dir / ("m" + name + ".dcm");
    const Outcome r = run("cd " + dir.string() + " && " + QUORVEL_MEDCON + " -f " + ours.string() + " -c dicom -o m" + name);
    ASSERT_EQ(r.status, 0) << r.out;
    ASSERT_NE(readAll(theirs).size(), 0u) << r.out;
    StudyWorkspace a, b;
    ScriptedPlatform platform;
    TraceLog log;
    ASSERT_TRUE(readAcquisition(ours, 1, a, log).ok());
    ASSERT_TRUE(readAcquisition(theirs, 1, b, log).ok());
    EXPECT_FLOAT_EQ(b.study.VOXEL_SIZE_XY, static_cast<float>(mm / 10));
    EXPECT_FLOAT_EQ(b.study.VOXEL_SIZE_Z, static_cast<float>(mm / 10));
    EXPECT_EQ(b.study.VOXS_init, a.study.VOXS_init);
    EXPECT_TRUE(b.study.DATA == a.study.DATA);
  }
  // The whole job on the 12 mm pair: medcon leaves the heart rate out, so it is given.
  auto volumes = [&](const std::string& file, const std::string& json) {
    const Outcome r = run("QUORVEL_HOME=" + dir.string() + " " + QUORVEL_CLI + " analyse " + file +
                          " --heart-rate 70 --json " + json);
    EXPECT_EQ(r.status, 0) << r.out;
    std::ifstream in(json);
    const nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
    return std::make_pair(j.value("volG", nlohmann::json()), j.value("volD", nlohmann::json()));
  };
  const auto own = volumes((dir / "p120_el.dcm").string(), (dir / "own.json").string());
  EXPECT_EQ(own, volumes((dir / "mp120.dcm").string(), (dir / "medcon.json").string()));
  EXPECT_GT(own.first.at(0).get<double>(), 60.0);  // a true left ventricle of 120 ml, not a thousandth of it
  fs::remove_all(dir);
}

TEST(PhantomDeterminism, SameSeedSameBytesOtherSeedOtherNoise) {
  PhantomParams p = defaultParams(64);
  p.slices = 40;
  const auto a = encodeDicom(buildPhantom(p), kExplicitLittle);
  const auto b = encodeDicom(buildPhantom(p), kExplicitLittle);
  EXPECT_TRUE(a == b);
  p.seed = 2;
  const Phantom other = buildPhantom(p);
  EXPECT_FALSE(encodeDicom(other, kExplicitLittle) == a);
  // Noise-free: the rounded expectation, and the total count as asked.
  p.noise = false;
  const Phantom clean = buildPhantom(p);
  double total = 0;
  for (size_t i = 0; i < clean.counts.size(); ++i) {
    ASSERT_EQ(clean.counts[i], std::lround(clean.expected_ml[i] * clean.counts_per_ml)) << i;
    total += clean.counts[i];
  }
  EXPECT_NEAR(total, p.total_counts, 1e-3 * p.total_counts);
  double noisy = 0;
  for (uint16_t c : other.counts) noisy += c;
  EXPECT_NEAR(noisy, p.total_counts, 5 * std::sqrt(p.total_counts));
}

TEST(PhantomDeterminism, EndDiastoleHasTheLargestTotalCount) {
  // The loader rotates the cycle to the largest-count instant; the phantom must already start there.
  // Noise-free: the early-systolic instant is within about one Poisson deviation of end-diastole,
  // so only the expectation can be held to the order.
  PhantomParams p = defaultParams(64);
  p.instants = 16;
  p.noise = false;
  const Phantom ph = buildPhantom(p);
  const size_t n = ph.counts.size() / 16;
  std::vector<double> total(16, 0);
  for (size_t i = 0; i < ph.counts.size(); ++i) total[i / n] += ph.counts[i];
  for (int t = 1; t < 16; ++t) EXPECT_LT(total[t], total[0]) << t;
}

TEST(DicomWriter, EncodesLengthsPaddingAndByteOrder) {
  DicomDataSet ds;
  ds.addString(0x0010, 0x0010, "PN", "ABC");  // odd: padded with a space
  ds.addUS(0x0028, 0x0010, 0x1234);
  ds.addOW(0x7FE0, 0x0010, std::vector<uint16_t>{0xA1B2});
  EXPECT_THROW(ds.addString(0x0002, 0x0010, "UI", "1.2"), std::invalid_argument);
  EXPECT_THROW(ds.addString(0x0010, 0x0010, "US", "x"), std::invalid_argument);
  const std::string uid = "1.2.3";
  const auto le = ds.encodePart10(kExplicitLittle, kNmImageStorageUid, uid);
  const auto be = ds.encodePart10(kExplicitBig, kNmImageStorageUid, uid);
  const auto il = ds.encodePart10(kImplicitLittle, kNmImageStorageUid, uid);
  ASSERT_EQ(std::string(le.begin() + 128, le.begin() + 132), "DICM");
  const auto dl = dataSet(le), db = dataSet(be), di = dataSet(il);
  // Last element is the pixel data: explicit long form / implicit 32-bit length, then the word.
  EXPECT_EQ(std::vector<uint8_t>(dl.end() - 14, dl.end()),
            (std::vector<uint8_t>{0xE0, 0x7F, 0x10, 0x00, 'O', 'W', 0, 0, 2, 0, 0, 0, 0xB2, 0xA1}));
  EXPECT_EQ(std::vector<uint8_t>(db.end() - 14, db.end()),
            (std::vector<uint8_t>{0x7F, 0xE0, 0x00, 0x10, 'O', 'W', 0, 0, 0, 0, 0, 2, 0xA1, 0xB2}));
  EXPECT_EQ(std::vector<uint8_t>(di.end() - 10, di.end()),
            (std::vector<uint8_t>{0xE0, 0x7F, 0x10, 0x00, 2, 0, 0, 0, 0xB2, 0xA1}));
  const std::string sl(dl.begin(), dl.end());
  EXPECT_NE(sl.find(std::string("PN\x04\x00" "ABC ", 8)), std::string::npos);
  // A value too long for a 16-bit length is refused in explicit VR, accepted in implicit VR.
  DicomDataSet big;
  big.addUS(0x0054, 0x0080, std::vector<uint16_t>(40000, 1));
  EXPECT_THROW(big.encodePart10(kExplicitLittle, kNmImageStorageUid, uid), std::length_error);
  EXPECT_NO_THROW(big.encodePart10(kImplicitLittle, kNmImageStorageUid, uid));
  // 128-bit UIDs: decimal of the number under 2.25.
  EXPECT_EQ(uidFrom128(0, 0), "2.25.0");
  EXPECT_EQ(uidFrom128(0, 1234567890123ULL), "2.25.1234567890123");
  EXPECT_EQ(uidFrom128(1, 0), "2.25.18446744073709551616");
}

TEST(PhantomCommand, WritesFilesAndTruthAndDocumentsEveryOption) {
  const fs::path out = fs::path(QUORVEL_TEST_TMP) / "phantom_cli";
  fs::remove_all(out);
  const Outcome r = run(std::string(QUORVEL_CLI) + " phantom --out " + out.string() +
                    " --formats dicom-el,idb --noise-free --rotation 20 --tilt -10 --lv-ef 45 --instants 16");
  ASSERT_EQ(r.status, 0) << r.out;
  ASSERT_TRUE(fs::exists(out / "phantom_el.dcm"));
  ASSERT_TRUE(fs::exists(out / "phantom.idb"));
  std::ifstream in(out / "phantom_el.truth.json");
  const nlohmann::json j = nlohmann::json::parse(in);
  const auto& lv = j["left_ventricle"];
  EXPECT_DOUBLE_EQ(lv["edv_ml"].get<double>(), 120.0);
  EXPECT_DOUBLE_EQ(lv["ejection_fraction_percent"].get<double>(), 45.0);
  EXPECT_DOUBLE_EQ(lv["esv_ml"].get<double>(), 66.0);
  EXPECT_EQ(lv["volume_ml_per_instant"].size(), 16u);
  EXPECT_DOUBLE_EQ(lv["volume_ml_per_instant"][0].get<double>(), 120.0);
  EXPECT_NEAR(j["pose"]["undo_rotation_rad"].get<double>(), -20.0 * std::numbers::pi / 180, 1e-12);
  EXPECT_EQ(j["pose"]["undo_valves_angle_steps"].get<int>(), 10);
  EXPECT_EQ(j["file"]["file_slice_order"][0].get<int>(), 63);
  EXPECT_EQ(j["parameters"]["noise"], "none");
  // Bad values are refused with a message and a failing status.
  EXPECT_NE(run(std::string(QUORVEL_CLI) + " phantom --out " + out.string() + " --instants 12").status, 0);
  const Outcome bad = run(std::string(QUORVEL_CLI) + " phantom --out " + out.string() + " --rv-edv 0");
  EXPECT_NE(bad.status, 0);
  EXPECT_NE(bad.out.find("right"), std::string::npos) << bad.out;
  EXPECT_NE(run(std::string(QUORVEL_CLI) + " phantom --out " + out.string() + " --matrix 128 --formats idb").status, 0);

  const Outcome help = run(std::string(QUORVEL_CLI) + " phantom --help");
  ASSERT_EQ(help.status, 0);
  for (const char* opt : {"--out", "--name", "--formats", "--matrix", "--pixel", "--slices", "--slice-thickness",
                          "--instants", "--heart-rate", "--fwhm", "--counts", "--noise-free", "--seed", "--rotation",
                          "--tilt", "--supersample", "--lv-edv", "--lv-ef", "--lv-es", "--lv-rapid-fraction",
                          "--lv-rapid-duration", "--lv-atrial-fraction", "--lv-atrial-start", "--rv-edv", "--rv-ef",
                          "--patient-position", "--lv-length", "--base-descent", "--septum"})
    EXPECT_NE(help.out.find(opt), std::string::npos) << opt;
  for (const char* unit : {"(ml)", "(mm)", "(bpm)", "(degrees)", "(%)", "(% of the cycle)", "=120", "=13", "=70", "=2.4e+07"})
    EXPECT_NE(help.out.find(unit), std::string::npos) << unit;
}

}  // namespace
}  // namespace quorvel::phantom
