// The IDB and Interfile readers on crafted files: layouts, value rules and clean refusals.
#include <gtest/gtest.h>

#include <bit>
#include <fstream>
#include <map>

#include "base/byte_reader.h"
#include "study/idb_reader.h"
#include "study/interfile_reader.h"
#include "study_fixture.h"

using namespace quorvel;
using namespace quorvel::testing;

namespace {

constexpr int kSlices = 4;

std::vector<uint8_t> idbFile(int instants, uint64_t size, float cycleMs, float pixelMm, const std::string& name) {
  std::vector<uint8_t> f(size, 0);
  if (size > kIdbInstantsOffset) f[kIdbInstantsOffset] = static_cast<uint8_t>(instants);
  auto putFloat = [&](size_t at, float v) {
    for (int i = 0; i < 4 && at + i < f.size(); ++i) f[at + i] = static_cast<uint8_t>(std::bit_cast<uint32_t>(v) >> (24 - 8 * i));
  };
  putFloat(kIdbCycleOffset, cycleMs);
  putFloat(kIdbPixelOffset, pixelMm);
  for (size_t i = 0; i < name.size() && kIdbNameOffset + i < f.size(); ++i) f[kIdbNameOffset + i] = static_cast<uint8_t>(name[i]);
  if (f.size() > kIdbSexOffset) f[kIdbSexOffset] = 'F';
  return f;
}

// An instant file of NCZ 64 x 64 slices, every value v, unsigned little endian.
std::vector<uint8_t> instantFile(int slices, uint16_t v, bool big = false) {
  std::vector<uint8_t> f;
  for (int i = 0; i < slices * kSliceVoxels; ++i) big ? putU16be(f, v) : putU16le(f, v);
  return f;
}

}  // namespace

class AcquisitionReaders : public StudyTest {
 protected:
  // A header with the keys the reader needs, some replaced or removed (an empty value removes).
  std::filesystem::path header(const std::string& name, std::map<std::string, std::string> changes = {}) {
    std::map<std::string, std::string> keys = {{"patient name", "DOE^JANE"},     {"patient sex", "F"},
                                               {"patient dob", "1945:06:07"},    {"study date", "2024:01:15"},
                                               {"scaling factor (mm/pixel) [1]", "4.7952"},
                                               {"scaling factor (mm/pixel) [2]", "4.7952"},
                                               {"!number of slices", std::to_string(kSlices)}};
    for (const auto& [k, v] : changes) v.empty() ? void(keys.erase(k)) : void(keys[k] = v);
    std::string text = "!INTERFILE :=\r\n";
    for (const auto& [k, v] : keys) text += k + " := " + v + "\r\n";
    std::ofstream(dir / name, std::ios::binary) << text;
    return dir / name;
  }
  void instants(const std::string& base, const std::string& ext, int n, int slices = kSlices) {
    for (int t = 1; t <= n; ++t) write(BUILD_INTERFILE_EXT(base, t, ext), instantFile(slices, static_cast<uint16_t>(10 * t)));
  }
  Study s;
  Options opt;
};

TEST_F(AcquisitionReaders, IdbHeaderValuesAndLengthChecks) {
  // The voxels of every instant must follow the 2604-byte header.
  EXPECT_EQ(LOAD_IDB_DATA(write("short.idb", idbFile(8, idbFileBytes(8) - 1, 100, 4.5f, "")), s, opt).code(),
            RefusalCode::BadIdb);
  EXPECT_EQ(LOAD_IDB_DATA(write("mib.idb", idbFile(8, 4194304, 100, 4.5f, "")), s, opt).code(), RefusalCode::BadIdb);
  EXPECT_EQ(LOAD_IDB_DATA(write("n12.idb", idbFile(12, idbFileBytes(16), 100, 4.5f, "")), s, opt).code(),
            RefusalCode::BadIdb);
  EXPECT_EQ(LOAD_IDB_DATA(write("tiny.idb", idbFile(8, 1000, 100, 4.5f, "")), s, opt).code(), RefusalCode::BadIdb);
  EXPECT_EQ(LOAD_IDB_DATA(write("px.idb", idbFile(8, idbFileBytes(8), 100, 0, "")), s, opt).code(),
            RefusalCode::BadVoxelSize);
  ASSERT_TRUE(LOAD_IDB_DATA(write("ok.idb", idbFile(8, idbFileBytes(8), 100, 4.5f, "DOE jane1 X")), s, opt).ok());
  EXPECT_FLOAT_EQ(s.VOXEL_SIZE_XY, 0.45f);
  EXPECT_FLOAT_EQ(s.VOXEL_SIZE_Z, 0.45f);
  EXPECT_EQ(s.CARD_FREQ_INT, 75);
  EXPECT_EQ(s.HEART_RATE, 1);
  EXPECT_EQ(s.patient_name, "DOE  X");
  EXPECT_EQ(s.pat_sex, 1);
  // A duration of instant that gives no rate: asked for, with the default meanwhile.
  ASSERT_TRUE(LOAD_IDB_DATA(write("nan.idb", idbFile(16, idbFileBytes(16), 0, 4.5f, "")), s, opt).ok());
  EXPECT_EQ(s.HEART_RATE, 0);
  EXPECT_EQ(s.CARD_FREQ_INT, opt.DEFAULT_freq);
}

TEST_F(AcquisitionReaders, InterfileHeaderRulesAndPerInstantFiles) {
  header("study01.hdr");
  instants(dir / "study", ".IMG", 8);
  ASSERT_TRUE(LOAD_IMG_DATA(dir / "study01.IMG", s, opt).ok());
  EXPECT_EQ(s.PAT_NAME, "DOE JANE");
  EXPECT_EQ(s.PAT_DATE, "07/06/1945");
  EXPECT_EQ(s.ACQ_DATE, "15/01/2024");
  EXPECT_EQ(s.pat_sex, 1);
  EXPECT_FLOAT_EQ(s.VOXEL_SIZE_XY, 0.4795f);
  EXPECT_EQ(s.NCZ, kSlices);  // written with a space after ":="
  EXPECT_EQ(s.HEART_RATE, 0);
  ASSERT_EQ(s.Ninst, 8);
  for (int t = 0; t < 8; ++t) EXPECT_EQ(s.at(t, kSlices - 1, 63, 63), 10.0f * (t + 1)) << t;
  // The header given instead of the data file; the slice thickness sets the slice spacing.
  header("study01.hdr", {{"!name of data file", "study01.IMG"}, {"slice thickness (pixels)", "2"}});
  ASSERT_TRUE(LOAD_IMG_DATA(dir / "study01.hdr", s, opt).ok());
  EXPECT_FLOAT_EQ(s.VOXEL_SIZE_Z, 2 * 0.4795f);
  // 16 instant files re-binned: each instant the mean of two files.
  header("six01.hdr");
  instants(dir / "six", ".img", 16);
  opt.RECH_8 = 1;
  ASSERT_TRUE(LOAD_IMG_DATA(dir / "six01.img", s, opt).ok());
  ASSERT_EQ(s.Ninst, 8);
  for (int t = 0; t < 8; ++t) EXPECT_EQ(s.at(t, 0, 0, 0), 20.0f * t + 15) << t;
}

TEST_F(AcquisitionReaders, InterfileSingleDataFileBigEndian) {
  std::vector<uint8_t> data(100, 0);  // skipped by the data offset
  for (int t = 0; t < 16; ++t) {
    const auto f = instantFile(kSlices, static_cast<uint16_t>(t + 1), true);
    data.insert(data.end(), f.begin(), f.end());
  }
  write("whole.i33", data);
  header("whole.h33", {{"!total number of images", std::to_string(16 * kSlices)}, {"!data offset in bytes", "100"},
                       {"imagedata byte order", "BIGENDIAN"}, {"!name of data file", "whole.i33"}});
  opt.RECH_8 = 0;
  ASSERT_TRUE(LOAD_IMG_DATA(dir / "whole.h33", s, opt).ok());
  ASSERT_EQ(s.Ninst, 16);
  for (int t = 0; t < 16; ++t) EXPECT_EQ(s.at(t, 1, 2, 3), t + 1.0f);
}

TEST_F(AcquisitionReaders, BadInterfileStudiesAreRefusedNamingTheFile) {
  instants(dir / "a", ".img", 8);
  std::filesystem::remove(dir / "a03.img");
  write("b01.img", instantFile(kSlices, 1));
  instants(dir / "c", ".img", 8);
  write("c05.img", instantFile(kSlices - 1, 1));  // one slice short
  write("w.img", instantFile(kSlices * 8 - 1, 1));
  const struct {
    const char* file;
    std::map<std::string, std::string> changes;
    RefusalCode code;
    const char* named;
  } cases[] = {
      {"b01.img", {}, RefusalCode::NoHeaderFile, ""},
      {"a01.img", {{"patient dob", ""}}, RefusalCode::MissingHeaderInformation, ""},
      {"a01.img", {{"!number of slices", ""}}, RefusalCode::MissingHeaderInformation, ""},
      {"a01.img", {{"!number of slices", "200"}}, RefusalCode::TooManySlices, ""},
      {"a01.img", {{"scaling factor (mm/pixel) [1]", "abc"}}, RefusalCode::BadVoxelSize, ""},
      {"a01.img", {{"!matrix size [1]", "128"}}, RefusalCode::UnsupportedData, ""},
      {"a01.img", {{"!number of bytes per pixel", "4"}}, RefusalCode::UnsupportedData, ""},
      {"a01.img", {}, RefusalCode::UnreadableFile, "a03.img"},
      {"c01.img", {}, RefusalCode::UnreadableFile, "c05.img"},
      {"w.img", {{"!total number of images", std::to_string(8 * kSlices)}}, RefusalCode::UnreadableFile, "w.img"},
  };
  for (const auto& c : cases) {
    const std::string file = c.file;
    if (file != "b01.img") header(EXTRACT_INTERFILE_ROOT(file) + "hdr", c.changes);
    Study before;
    before.PAT_NAME = "UNCHANGED";
    s = before;
    const Status st = LOAD_IMG_DATA(dir / file, s, opt);
    ASSERT_FALSE(st.ok()) << file;
    EXPECT_EQ(st.code(), c.code) << file;
    EXPECT_NE(st.refusal().en.find(c.named), std::string::npos) << st.refusal().en;
    EXPECT_EQ(s.PAT_NAME, "UNCHANGED");
    EXPECT_TRUE(s.DATA.empty());
  }
}

TEST_F(AcquisitionReaders, OpenRoadChoosesTheReaderAndKeepsTheStudyOnRefusal) {
  EXPECT_EQ(acquisitionFormatOf("x/a.IDB"), kFormatIdb);
  EXPECT_EQ(acquisitionFormatOf("a01.img"), kFormatInterfile);
  EXPECT_EQ(acquisitionFormatOf("a.h33"), kFormatInterfile);
  EXPECT_EQ(acquisitionFormatOf("a.ima"), kFormatIma);
  EXPECT_EQ(acquisitionFormatOf("a.dcm"), kFormatDicom);
  header("ok01.hdr");
  instants(dir / "ok", ".img", 8);
  ASSERT_TRUE(open(dir / "ok01.img", kFormatInterfile).ok());
  EXPECT_EQ(w.study.IM_FORMAT, kFormatInterfile);
  EXPECT_EQ(w.study.chemin_data, (dir / "ok01.img").string());
  const std::vector<float> before = w.study.DATA;
  ASSERT_FALSE(open(write("bad.idb", idbFile(8, 3000, 100, 4.5f, "")), kFormatIdb).ok());
  EXPECT_EQ(w.study.DATA, before);
  EXPECT_EQ(w.study.IM_FORMAT, kFormatInterfile);
}
