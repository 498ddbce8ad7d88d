// The exam file's layout and its refusals, on a small hand-made state; the options file.
#include <gtest/gtest.h>

#include <bit>
#include <csignal>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <tuple>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/byte_reader.h"
#include "exam/exam_file.h"
#include "exam/options_file.h"
#include "scratch_folder.h"

namespace quorvel {
namespace {

class ExamFileTest : public ::testing::Test {
 protected:
  // 8 instants of 40 slices, labels 0..5, a few results and a patient line.
  void SetUp() override {
    c = std::make_unique<ExamContent>();
    Study& s = c->study;
    s.Ninst = 8;
    s.NCZ = 40;
    const size_t voxels = static_cast<size_t>(8) * 40 * kSliceVoxels;
    s.DATA.assign(voxels, 0.0f);
    c->seg.LPE.assign(voxels, 0);
    c->seg.AFFECT.assign(voxels, 0);
    for (size_t i = 0; i < voxels; i += 97) s.DATA[i] = static_cast<float>(i % 1000), c->seg.LPE[i] = i % 6;
    c->seg.NREG = 5;
    c->seg.CORR[3] = 2;
    c->vc.G.FES = 61.5f;
    c->_MENU_ = 3;
    for (int t = 0; t < 8; ++t) c->settings.limits.limG_sup[t] = c->settings.limits.limD_sup[t] = 39;
    s.patient_name = "DOE^JANE";
    s.patname_long = 8;
    std::memcpy(s.patname.data(), "DOE^JANE", 8);
    c->settings.flow.comment = "free text";
  }
  std::vector<uint8_t> encode() { return encodeExam(c->source(), "/x/exam.qvx", "01-02-2025"); }
  static int32_t word(const std::vector<uint8_t>& b, size_t at) { return static_cast<int32_t>(*ByteReader(b).u32le(at)); }
  static void put(std::vector<uint8_t>& b, size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
  }

  // Regular files in a folder: the exam, and any temporary file a save left there.
  static int filesIn(const std::filesystem::path& dir) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) n += e.is_regular_file();
    return n;
  }
  static std::vector<uint8_t> bytesOf(const std::filesystem::path& p) { return readWholeFile(p).value_or(std::vector<uint8_t>{}); }

  std::unique_ptr<ExamContent> c;
};

TEST_F(ExamFileTest, FieldsSitAtTheirOffsets) {
  const auto b = encode();
  const size_t lpe = 44444 + 260 + static_cast<size_t>(8) * 40 * 16384;
  EXPECT_EQ(lpe, 5287584u);
  EXPECT_EQ(examLabelsOffset(8, 40), lpe);
  const struct {
    size_t offset;
    int32_t value;
  } fields[] = {{0, 848484},  {12, 120120}, {32, 10022},        {40, 3},  {44, 8},
                {48, 40},     {112, 5},     {1592, 12312377}, {272, 39}, {400 + 28, 39},
                {144, std::bit_cast<int32_t>(61.5f)},             {lpe + 2 * 97, 1},
                {lpe + 2621440 + 4 * 3, 2}};  // CORR follows LPE
  for (const auto& f : fields) EXPECT_EQ(word(b, f.offset), f.value) << "offset " << f.offset;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[4000]), 8), "DOE^JANE");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[40000]), 10), "01-02-2025");
  // The patient identification closes the file: its length, then 8 + 2 + 4 + 10 + 8 + 26 + 56 + 8 + 14 + 300.
  EXPECT_EQ(word(b, b.size() - 436 - 4), 8);
}

TEST_F(ExamFileTest, ReadsBackWhatItWrote) {
  const auto b = encode();
  ExamContent back;
  ASSERT_TRUE(decodeExam(b, back));
  EXPECT_EQ(back.study.DATA, c->study.DATA);
  EXPECT_EQ(back.seg.LPE, c->seg.LPE);
  EXPECT_EQ(back.seg.CORR, c->seg.CORR);
  EXPECT_EQ(back.vc.G.FES, 61.5f);
  EXPECT_EQ(back.study.patient_name, "DOE^JANE");
  EXPECT_EQ(back.settings.flow.comment, "free text");
  EXPECT_EQ(back.qv_version_date, "01-02-2025");
  EXPECT_EQ(back.chemin_save, "/x/exam.qvx");
  EXPECT_EQ(encodeExam(back.source(), "/x/exam.qvx", "01-02-2025"), b);
}

TEST_F(ExamFileTest, OlderLayoutsFollowTheirVersion) {
  auto b = encode();
  put(b, 32, 10010);       // before equilibrium and disp_seuil were stored
  put(b, 680, 0);          // equilibrium off in the bytes...
  put(b, 684, 1);          // ...and disp_seuil on: both ignored
  put(b, 1592, 0);         // no layout marker: the patient line at 1600
  std::memcpy(&b[1600], "OLD^NAME\0", 9);
  ExamContent back;
  ASSERT_TRUE(decodeExam(b, back));
  EXPECT_EQ(back.options.equilibrium, 1);
  EXPECT_EQ(back.settings.flow.disp_seuil, 0);
  EXPECT_EQ(back.study.patient_name, "OLD^NAME");
  EXPECT_EQ(back.settings.reorient.records.N_list, 0);
  EXPECT_EQ(back.qv_version_date, "01-02-2025");  // dated since 10001
}

TEST_F(ExamFileTest, RefusesBrokenFiles) {
  constexpr int32_t kNaN = 0x7FC00000, kInfinity = 0x7F800000;
  const auto good = encode();
  const size_t lpe = examLabelsOffset(8, 40), end = good.size();
  const size_t triangles = lpe + 2621440 + 8000 + 4 * (34 + 2048) + 9 * 16 + 6 * 16 + 8 * 40 * 4096;
  const struct {
    const char* what;
    size_t cut;  // keep this many bytes (0: all)
    size_t at;
    int32_t value;
  } cases[] = {
      {"empty", 10, 0, 848484},
      {"signature", 0, 8, 1},
      {"cut in the header", 20000, 0, 848484},
      {"cut in the counts", lpe - 5, 0, 848484},
      {"cut in the last byte", end - 1, 0, 848484},
      {"12 instants", 0, 44, 12},
      {"no slice", 0, 48, 0},
      {"129 slices", 0, 48, 129},
      {"too many labels", 0, 112, 1000},
      {"a label above NREG", 0, 112, 4},
      {"too many triangles", 0, triangles, 150001},
      {"a long patient name", 0, end - 436 - 4, 41},
      {"a limit outside the slices", 0, 208, 40},
      {"an unknown stage", 0, 40, 7},
      // Every float block holds numbers: a NaN or an infinity anywhere is a damaged file.
      {"NaN datamax", 0, 100, kNaN},
      {"infinite ejection fraction", 0, 144, kInfinity},
      {"NaN voxel size", 0, 1200, kNaN},
      {"NaN counts", 0, kExamHeaderSize + kExamPathSize + 4 * 97, kNaN},
      {"NaN volume curve", 0, lpe + 2621440 + 8000 + 4 * 3, kNaN},
  };
  for (const auto& k : cases) {
    std::vector<uint8_t> b(good.begin(), good.begin() + (k.cut ? k.cut : end));
    if (k.at + 4 <= b.size()) put(b, k.at, k.value);
    ExamContent back;
    const Status s = decodeExam(b, back);
    ASSERT_FALSE(s) << k.what;
    EXPECT_EQ(s.code(), RefusalCode::NotAnExam) << k.what;
    EXPECT_EQ(s.refusal().en, "This is not a valid QVX file !             ");
  }
  ExamContent back;
  ASSERT_TRUE(decodeExam(good, back)) << "the unbroken file";
}

TEST_F(ExamFileTest, KeepsOnlyTheLocksTheFileHas) {
  c->seg.SegLock[2][63] = 1;
  c->seg.SegLock[2][64] = 1;  // beyond the 64 slices the file keeps
  ExamContent back;
  ASSERT_TRUE(decodeExam(encode(), back));
  EXPECT_EQ(back.seg.SegLock[2][63], 1);
  EXPECT_EQ(back.seg.SegLock[2][64], 0);
}

// A save onto a full disk or into a read-only folder: refused with the message, the previous exam
// byte for byte as it was, no temporary file left. The mounts are private to this test process.
TEST_F(ExamFileTest, FullDiskAndReadOnlyFolderLeaveThePreviousExam) {
  if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    GTEST_SKIP() << "no mount namespace here (" << std::strerror(errno)
                 << "); the file-size-limit failure of test_ui still runs";
  const std::filesystem::path dir = testing::scratchFolder();
  const std::vector<uint8_t> previous = encode();
  c->settings.flow.comment = "changed";
  const struct {
    const char* what;
    std::function<bool(const std::filesystem::path&)> prepare;  // mounts the folder, the exam in it
    const char* reason;
  } cases[] = {
      {"full disk",
       [&](const std::filesystem::path& d) {
         const std::string size = "size=" + std::to_string(previous.size() + 65536);
         return mount("tmpfs", d.c_str(), "tmpfs", 0, size.c_str()) == 0 && writeFileAtomically(d / "exam.qvx", previous);
       },
       "Le disque est plein."},
      {"read-only folder",
       [&](const std::filesystem::path& d) {
         return writeFileAtomically(d / "exam.qvx", previous) && mount(d.c_str(), d.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                mount(nullptr, d.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
       },
       "Écriture refusée"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    const std::filesystem::path d = dir / k.what, exam = d / "exam.qvx";
    std::filesystem::create_directories(d);
    if (!k.prepare(d)) GTEST_SKIP() << "cannot mount for the " << k.what << " case: " << std::strerror(errno);
    TraceLog log;
    const Status s = SAVE_EXM_DATA(c->source(), exam, log);
    ASSERT_FALSE(s);
    EXPECT_EQ(s.code(), RefusalCode::ExamNotWritten);
    EXPECT_NE(s.refusal().fr.find("Le fichier précédent est resté intact"), std::string::npos);
    EXPECT_NE(s.refusal().fr.find(k.reason), std::string::npos) << s.refusal().fr;
    EXPECT_TRUE(bytesOf(exam) == previous);
    EXPECT_EQ(filesIn(d), 1);
    umount2(d.c_str(), MNT_DETACH);
  }
}

// A folder that does not exist: said, and no previous file is claimed. A value that is not a
// number (a file the reader would refuse): nothing written.
TEST_F(ExamFileTest, SaveIntoAMissingFolderOrOfNonNumbersSaysWhy) {
  TraceLog log;
  const Status s = SAVE_EXM_DATA(c->source(), testing::scratchFolder() / "gone" / "exam.qvx", log);
  ASSERT_FALSE(s);
  EXPECT_NE(s.refusal().en.find("The folder does not exist."), std::string::npos) << s.refusal().en;
  EXPECT_EQ(s.refusal().en.find("previous file"), std::string::npos);
  c->vc.volG[2] = std::numeric_limits<float>::quiet_NaN();
  const std::filesystem::path exam = testing::scratchFolder() / "nan.qvx";
  const Status nan = SAVE_EXM_DATA(c->source(), exam, log);
  ASSERT_FALSE(nan);
  EXPECT_NE(nan.refusal().en.find("not numbers"), std::string::npos) << nan.refusal().en;
  EXPECT_FALSE(std::filesystem::exists(exam));
}

// A save killed half-way through writing: the exam at the path is still the previous one, whole.
TEST_F(ExamFileTest, SaveKilledMidWriteLeavesThePreviousExam) {
  const std::filesystem::path dir = testing::scratchFolder(), exam = dir / "exam.qvx";
  const std::vector<uint8_t> previous = encode();
  ASSERT_TRUE(writeFileAtomically(exam, previous));
  c->settings.flow.comment = "changed";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Stops itself once half the new file is written; the parent then kills it.
    std::signal(SIGXFSZ, [](int) { raise(SIGSTOP); });
    const rlimit half{previous.size() / 2, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &half);
    TraceLog log;
    (void)SAVE_EXM_DATA(c->source(), exam, log);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
  ASSERT_TRUE(WIFSTOPPED(status)) << "the save ended before it could be killed";
  kill(child, SIGKILL);
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  EXPECT_TRUE(bytesOf(exam) == previous);
  EXPECT_EQ(filesIn(dir), 2) << "the half-written temporary file beside it";
  ExamContent back;
  TraceLog log;
  ASSERT_TRUE(LOAD_EXM_DATA(exam, back, log));
  EXPECT_EQ(back.settings.flow.comment, "free text");
}

TEST(OptionsFile, DefaultsDoubledFieldsAndPanelRules) {
  Options o;
  auto b = encodeOptions(o);
  ASSERT_EQ(b.size(), 1232u);
  const ByteReader r(b);
  // Our own settings follow the 1224 bytes: an older file leaves them at their defaults (placement
  // proposed, the first criterion), damage sets the default.
  const struct {
    int bytes, at, stored, placement, criterion;
  } rows[] = {{1232, 1224, 0, 0, 0}, {1232, 1224, 7, 1, 0}, {1224, -1, 0, 1, 0},
              {1232, 1228, 2, 1, 2}, {1232, 1228, 9, 1, 0}, {1228, 1224, 0, 0, 0}};
  for (const auto& row : rows) {
    std::vector<uint8_t> f(b.begin(), b.begin() + row.bytes);
    if (row.at >= 0) f[row.at] = static_cast<uint8_t>(row.stored);
    Options o2;
    o2.proposePlacementOnOpen = 5, o2.fallCriterion = 6;
    decodeOptions(f, o2);
    EXPECT_EQ(o2.proposePlacementOnOpen, row.placement) << row.bytes << " bytes, " << row.stored << " at " << row.at;
    EXPECT_EQ(o2.fallCriterion, row.criterion) << row.bytes << " bytes, " << row.stored << " at " << row.at;
  }
  EXPECT_EQ(*r.u32le(24), 8u);
  EXPECT_EQ(*r.u32le(144), 30u);
  EXPECT_EQ(*r.u8(920), 40);
  // The later copy of a doubled field wins.
  b[136] = 5, b[800] = 7, b[876] = 13, b[1000] = 25;
  Options back;
  decodeOptions(b, back);
  EXPECT_EQ(back.palette, 7);
  EXPECT_EQ(back.SECT_25, 25);
  // A damaged file sets nothing the panel could not: numbers clamped, other choices the defaults.
  for (auto [at, v] : {std::pair{88, 0}, {24, 12}, {32, 0}, {124, 7}, {1000, 18}, {0, -3}}) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
  }
  b[920] = b[924] = b[928] = 0;
  decodeOptions(b, back);
  EXPECT_EQ(back.ECH, 100);
  EXPECT_EQ(back.DEFAULT_ninst, 8);
  EXPECT_EQ(back.DEFAULT_freq, 72);
  EXPECT_EQ(back.mesh_samP, 24);
  EXPECT_EQ(back.SECT_25, 17);
  EXPECT_EQ(back.LANGUE, 0);
  EXPECT_EQ(back.BK_r, 10);
  // The default method keeps every method the field names (1 to 3), beyond the panel's two boxes.
  for (auto [stored, read] : {std::pair{1, 1}, {2, 2}, {3, 3}, {4, 1}, {0, 1}}) {
    Options m;
    m.DEFAULT_tacfitswitch = stored;
    decodeOptions(encodeOptions(m), back);
    EXPECT_EQ(back.DEFAULT_tacfitswitch, read) << stored;
  }

  const struct {
    OptionNumber field;
    long typed;
    int Options::*stored;
    int expected;
  } numbers[] = {{OptionNumber::Threshold, 5, &Options::DEFAULT_seuil, 10},
                 {OptionNumber::Threshold, 95, &Options::DEFAULT_seuil, 90},
                 {OptionNumber::Sampling, 2500, &Options::ECH, 2000},
                 {OptionNumber::Sampling, 50, &Options::ECH, 100},
                 {OptionNumber::KernelZ, 3, &Options::TZ_, 2},
                 {OptionNumber::Iterations, -4, &Options::TACFIT_ITvol, 0}};
  for (const auto& n : numbers) {
    setOptionNumber(o, n.field, n.typed);
    EXPECT_EQ(o.*n.stored, n.expected) << n.typed;
  }
  EXPECT_TRUE(setOptionChoice(o, OptionChoice::PreviewSampling, 48));
  EXPECT_EQ(o.mesh_Pdiv, 48);
  EXPECT_FALSE(setOptionChoice(o, OptionChoice::Sectors, 18));
  EXPECT_EQ(o.SECT_25, 17);

  const struct {
    Rgb chosen, stored;
  } colours[] = {{{0, 0, 0}, {10, 10, 10}}, {{255, 255, 255}, {200, 200, 200}}, {{40, 50, 60}, {40, 50, 60}}};
  for (const auto& k : colours) {
    const Rgb got = backgroundColourRule(k.chosen);
    EXPECT_EQ((std::array{got.r, got.g, got.b}), (std::array{k.stored.r, k.stored.g, k.stored.b}));
  }
  EXPECT_EQ(panelTextColour({200, 200, 200}).r, 20);
  EXPECT_EQ(panelTextColour({40, 40, 40}).r, 240);
}

}  // namespace
}  // namespace quorvel
