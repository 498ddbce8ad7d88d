// The short-axis folder reformat: shuffled single-frame files gathered in instance order, the
// geometry of variant 1 and the scaling of variant 2, the rewritten header read back by our reader
// and by DCMTK, and the dialogs of the interactive command.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "base/byte_reader.h"
#include "base/scripted_platform.h"
#include "run_command.h"
#include "study/dicom_reader.h"
#include "study/dicom_reformat.h"
#include "study/dicom_writer.h"
#include "study/study_texts.h"
#include "study_fixture.h"

namespace quorvel::testing {
namespace {

constexpr int kInstants = 8;

// The value of frame f (instance f + 1) at row x, column y.
uint16_t sample(int f, int x, int y) { return static_cast<uint16_t>((f * 37 + x * 5 + y) % 3000 + 1); }

class Reformat : public StudyTest {
 protected:
  // Writes instants x slices single-frame files of rows x cols under shuffled names; the slope of
  // frame f is slope(f).
  // Instance numbers start at firstInstance.
  void writeSlices(int slices, int rows, int cols, TransferSyntax syntax, float (*slope)(int) = nullptr,
                   int firstInstance = 1) {
    std::vector<int> order(static_cast<size_t>(kInstants * slices));
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    std::filesystem::create_directories(dir / "slices");
    for (int k = 0; k < static_cast<int>(order.size()); ++k) {
      const int f = order[static_cast<size_t>(k)];
      DicomDataSet ds;
      ds.addDS(0x0018, 0x0050, 6.8);
      ds.addIS(0x0020, 0x0013, f + firstInstance);
      ds.addString(0x0020, 0x000D, "UI", "1.2.826.0.1.7");
      ds.addUS(0x0028, 0x0002, 1);
      ds.addString(0x0028, 0x0004, "CS", "MONOCHROME2");
      ds.addIS(0x0028, 0x0008, 1);
      ds.addUS(0x0028, 0x0010, static_cast<uint16_t>(rows));
      ds.addUS(0x0028, 0x0011, static_cast<uint16_t>(cols));
      const double spacing[2] = {6.8, 6.8};
      ds.addDS(0x0028, 0x0030, spacing);
      ds.addUS(0x0028, 0x0100, 16);
      ds.addUS(0x0028, 0x0101, 16);
      ds.addUS(0x0028, 0x0102, 15);
      ds.addUS(0x0028, 0x0103, syntax == kExplicitBig ? 0 : 1);
      if (slope) ds.addDS(0x0028, 0x1053, slope(f));
      ds.addUS(0x0054, 0x0081, static_cast<uint16_t>(slices));
      std::vector<uint16_t> words;
      for (int x = 0; x < rows; ++x)
        for (int y = 0; y < cols; ++y) words.push_back(sample(f, x, y));
      ds.addOW(0x7FE0, 0x0010, words);
      write("slices/s" + std::to_string(k * 7919 % 1000) + "_" + std::to_string(k) + ".dcm",
            ds.encodePart10(syntax, kNmImageStorageUid, uidFrom128(1, static_cast<uint64_t>(f))));
    }
    write("slices/notes.txt", {'n', 'o'});  // not DICOM: skipped
  }
  // Reads back the reformatted file with our reader: its record and its words.
  std::vector<uint16_t> readBack(const std::filesystem::path& p, StudyRecord& rec) {
    Options opt;
    Notices n;
    EXPECT_TRUE(LOAD_DCM_DATA(p, rec, opt, log, n).ok());
    const auto bytes = readWholeFile(p);
    const ByteReader r(*bytes);
    std::vector<uint16_t> words;
    for (size_t at = static_cast<size_t>(rec.OFFSET_LEC); at + 2 <= bytes->size(); at += 2)
      words.push_back(*(rec.TRANSFERT_UID == kExplicitBig ? r.u16be(at) : r.u16le(at)));
    return words;
  }
};

TEST_F(Reformat, VariantOneGathersInInstanceOrderAndTurnsRowsIntoSlices) {
  constexpr int kSlices = 32, kSide = 64, m = (kSide - kSlices) / 2;
  writeSlices(kSlices, kSide, kSide, kExplicitLittle);
  const auto out = dir / "gathered.dcm";
  Options opt;
  ASSERT_TRUE(reformatFolder(dir / "slices", out, 1, opt, log).ok());
  StudyRecord rec;
  const std::vector<uint16_t> words = readBack(out, rec);
  EXPECT_EQ(rec.Ninst, kInstants);
  EXPECT_EQ(rec.NCZ, kSlices);
  EXPECT_EQ(rec.studyInstanceUid, "1.2.826.0.1.7");
  ASSERT_EQ(words.size(), static_cast<size_t>(kInstants * kSlices * kSide * kSide));
  auto at = [&](int t, int z, int x, int y) { return words[((static_cast<size_t>(t) * kSlices + z) * kSide + x) * kSide + y]; };
  int mismatches = 0;
  for (int t : {0, 5, 7})
    for (int z = 0; z < kSlices; ++z)
      for (int x = 0; x < kSide; ++x)
        for (int y = 0; y < kSide; y += 9) {
          // New slice z, row x holds source slice x - m, row m + kSlices - 1 - z; rows outside m..m+31 are 0.
          const bool inside = x >= m && x < m + kSlices;
          const uint16_t expected = inside ? sample(t * kSlices + (x - m), m + kSlices - 1 - z, y) : 0;
          mismatches += at(t, z, x, y) != expected;
        }
  EXPECT_EQ(mismatches, 0);

  const auto dump = quorvel::testing::run(std::string(QUORVEL_DCMDUMP) + " +P 0028,0008 +P 0054,0071 +P 0054,0081 +P 0028,0103 +P 7fe0,0010 " +
                        out.string());
  ASSERT_EQ(dump.status, 0) << dump.out;
  for (const char* expected : {"IS [256]", "US 8", "US 32", "US 0", "# 2097152,"})
    EXPECT_NE(dump.out.find(expected), std::string::npos) << expected << "\n" << dump.out;
  EXPECT_EQ(dump.out.find("W: "), std::string::npos) << dump.out;
}

float slopeByParity(int f) { return f % 2 ? 2.0f : 1.0f; }

TEST_F(Reformat, VariantTwoScalesEachSliceByItsSlopeAndClearsTheEnds) {
  constexpr int kSlices = 12, kRows = 6, kCols = 5;
  writeSlices(kSlices, kRows, kCols, kExplicitBig, slopeByParity);
  Options opt;
  Refusal why;
  const auto volume = RDSA_EXTRACT_DATA(dir / "slices", 2, opt, log, why);
  ASSERT_TRUE(volume);
  EXPECT_EQ(volume->files, kInstants * kSlices);
  EXPECT_EQ(volume->skipped, std::vector<std::string>{"notes.txt"});
  const std::vector<uint16_t> words = RDSA_CLOSE_FILE(*volume, 2);
  auto at = [&](int t, int z, int x, int y) { return words[((static_cast<size_t>(t) * kSlices + z) * kRows + x) * kCols + y]; };
  int mismatches = 0;
  for (int t = 0; t < kInstants; ++t)
    for (int z = 0; z < kSlices; ++z)
      for (int x = 0; x < kRows; ++x)
        for (int y = 0; y < kCols; ++y) {
          const int f = t * kSlices + kSlices - 1 - z;
          // Stored upside down when read, turned back when written: the same row of the source.
          const float scale = f % 2 ? 0.25f : 0.125f;
          const bool cleared = z <= 4 || z > kSlices - 5;
          mismatches += at(t, z, x, y) != (cleared ? 0 : static_cast<uint16_t>(sample(f, x, y) * scale));
        }
  EXPECT_EQ(mismatches, 0);
  // Written in the kept header's byte order, which our reader then reads.
  const auto out = dir / "fdg.dcm";
  ASSERT_TRUE(reformatFolder(dir / "slices", out, 2, opt, log).ok());
  StudyRecord rec;
  EXPECT_EQ(readBack(out, rec), words);
  EXPECT_EQ(rec.NCZ, kSlices);
}

// What would give a volume of zeros or of someone else's frames is refused or skipped.
TEST_F(Reformat, RefusesEmptyOrDoubledVolumesAndSkipsWhatIsNoSlice) {
  constexpr int kSlices = 16, kSide = 32;
  Options opt;
  opt.LANGUE = kEnglish;
  writeSlices(kSlices, kSide, kSide, kExplicitLittle, nullptr, 1001);  // numbered past the volume
  const Status empty = reformatFolder(dir / "slices", dir / "empty.dcm", 1, opt, log);
  ASSERT_FALSE(empty.ok());
  EXPECT_EQ(empty.code(), RefusalCode::ReformatEmpty);
  EXPECT_FALSE(std::filesystem::exists(dir / "empty.dcm"));

  std::filesystem::remove_all(dir / "slices");
  writeSlices(kSlices, kSide, kSide, kExplicitLittle);
  // Our own output in the folder is no slice on the next run.
  const auto inside = dir / "slices" / "gathered.dcm";
  ASSERT_TRUE(reformatFolder(dir / "slices", inside, 1, opt, log).ok());
  const auto first = readWholeFile(inside);
  ASSERT_TRUE(reformatFolder(dir / "slices", inside, 1, opt, log).ok());
  EXPECT_EQ(readWholeFile(inside), first);
  std::filesystem::copy_file(inside, dir / "slices" / "earlier.dcm");  // nor a reformat written before
  Refusal why;
  const auto kept = RDSA_EXTRACT_DATA(dir / "slices", 1, opt, log, why, {}, inside);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->placed, kInstants * kSlices);
  EXPECT_NE(std::find(kept->skipped.begin(), kept->skipped.end(), "earlier.dcm"), kept->skipped.end());

  // A slice whose Pixel Data element is one voxel short, another element after it.
  std::vector<std::filesystem::path> files;
  for (const auto& e : std::filesystem::directory_iterator(dir / "slices"))
    if (e.path().filename().string().starts_with("s")) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  auto bytes = *readWholeFile(files[0]);
  const uint8_t pixelTag[4] = {0xE0, 0x7F, 0x10, 0x00};
  const auto at = std::search(bytes.begin(), bytes.end(), pixelTag, pixelTag + 4) - bytes.begin();
  const uint32_t length = static_cast<uint32_t>(kSide * kSide * 2 - 2);
  for (int i = 0; i < 4; ++i) bytes[static_cast<size_t>(at) + 8 + i] = static_cast<uint8_t>(length >> (8 * i));
  const uint8_t after[] = {0xE1, 0x7F, 0x10, 0x00, 'L', 'O', 0x02, 0x00, 'A', 'B'};
  bytes.insert(bytes.end(), std::begin(after), std::end(after));
  writeBytes(files[0], bytes);
  const auto shortOne = RDSA_EXTRACT_DATA(dir / "slices", 1, opt, log, why, {}, inside);
  ASSERT_TRUE(shortOne);
  EXPECT_EQ(shortOne->placed, kInstants * kSlices - 1);
  EXPECT_NE(std::find(shortOne->skipped.begin(), shortOne->skipped.end(), files[0].filename().string()),
            shortOne->skipped.end());

  // Two files with one instance number: refused, naming both.
  std::filesystem::copy_file(files[1], dir / "slices" / "copy.dcm");
  const Status doubled = reformatFolder(dir / "slices", dir / "doubled.dcm", 1, opt, log);
  ASSERT_FALSE(doubled.ok());
  EXPECT_EQ(doubled.code(), RefusalCode::DuplicateInstance);
  EXPECT_NE(doubled.refusal().en.find("copy.dcm"), std::string::npos) << doubled.refusal().en;
  EXPECT_NE(doubled.refusal().en.find(files[1].filename().string()), std::string::npos);
}

TEST_F(Reformat, InteractiveCommandAsksFolderAndNameAndRefusesAnEmptyFolder) {
  std::filesystem::create_directories(dir / "empty");
  ScriptedPlatform platform;
  Options opt;
  opt.LANGUE = kEnglish;
  platform.folderAnswers.push_back((dir / "empty").string());
  platform.saveAnswers.push_back(FileChoice{(dir / "out").string(), 1});
  const ReformatOutcome none = DICOM_REFORMAT(platform, opt, 1, log);
  EXPECT_EQ(none.status.code(), RefusalCode::NoSliceFiles);
  EXPECT_EQ(none.status.refusal().en, study_texts::kNoDicomInFolder.en);
  EXPECT_EQ(none.path, (dir / "out.dcm").string());  // ".dcm" appended
  EXPECT_FALSE(std::filesystem::exists(dir / "out.dcm"));
  EXPECT_EQ(platform.count("progress-begin"), 0);  // no slice file, no progress panel
  EXPECT_EQ(platform.texts("folder").at(0), "Please indicate the folder with the short axis slices");
  EXPECT_NE(platform.texts("information").at(0).find("!!  Do not save it in the SA slices directory  !!"),
            std::string::npos);
  // Cancelling either chooser writes nothing.
  EXPECT_EQ(DICOM_REFORMAT(platform, opt, 1, log).status.code(), RefusalCode::Cancelled);
  platform.folderAnswers.push_back((dir / "empty").string());
  EXPECT_EQ(DICOM_REFORMAT(platform, opt, 2, log).status.code(), RefusalCode::Cancelled);
}

}  // namespace
}  // namespace quorvel::testing
