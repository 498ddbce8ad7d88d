#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include "base/app_folder.h"
#include "base/bitmap.h"
#include "base/byte_reader.h"
#include "base/language.h"
#include "base/scripted_platform.h"
#include "base/trace_log.h"

namespace fs = std::filesystem;
using namespace quorvel;

namespace {
fs::path freshFolder(const std::string& name) {
  fs::path p = fs::path(QUORVEL_TEST_TMP) / name;
  fs::remove_all(p);
  fs::create_directories(p);
  return p;
}
}  // namespace

TEST(ByteReader, ReadsBothByteOrdersAndRefusesPastTheEnd) {
  const uint8_t raw[] = {0x12, 0x34, 0x56, 0x78, 0x9A};
  ByteReader r(raw);
  EXPECT_EQ(*r.u16le(0), 0x3412);
  EXPECT_EQ(*r.u16be(0), 0x1234);
  EXPECT_EQ(*r.u32le(1), 0x9A785634u);
  EXPECT_EQ(*r.u32be(1), 0x3456789Au);
  EXPECT_FALSE(r.u32le(2).has_value());  // would read byte 5
  EXPECT_FALSE(r.u16be(4).has_value());
  EXPECT_FALSE(r.bytes(3, 3).has_value());
  EXPECT_FALSE(r.bytes(SIZE_MAX, 2).has_value());  // no overflow in the bounds test
  EXPECT_TRUE(r.bytes(5, 0).has_value());
}

TEST(ByteReader, BigEndianFloat) {
  std::vector<uint8_t> b;
  putU32be(b, std::bit_cast<uint32_t>(4.5f));
  EXPECT_FLOAT_EQ(*ByteReader(b).f32be(0), 4.5f);
}

TEST(ByteReader, AtomicWriteReplacesOnlyOnSuccess) {
  fs::path dir = freshFolder("atomic");
  fs::path file = dir / "f.bin";
  std::vector<uint8_t> a = {1, 2, 3};
  ASSERT_TRUE(writeFileAtomically(file, a));
  EXPECT_EQ(*readWholeFile(file), a);
  auto entries = [&] { return std::distance(fs::directory_iterator(dir), fs::directory_iterator{}); };
  EXPECT_EQ(entries(), 1);  // no temporary file left beside it
  // A destination folder that does not exist: the write fails and nothing is created.
  EXPECT_FALSE(writeFileAtomically(dir / "missing" / "g.bin", a));
  EXPECT_FALSE(readWholeFile(dir / "missing" / "g.bin").has_value());
  // A non-empty folder in the destination's place: the rename fails and so does the write.
  fs::create_directories(dir / "taken" / "inside");
  EXPECT_FALSE(writeFileAtomically(dir / "taken", a));
  EXPECT_EQ(entries(), 2);  // f.bin and the folder: the temporary file was removed
}

// Patient files keep the permissions of the file they replace, or the user's umask when new; a
// temporary a killed write left is removed by the next write of that file, once no write can own it.
TEST(ByteReader, AtomicWriteKeepsPermissionsAndClearsStaleTemporaries) {
  const fs::path dir = freshFolder("permissions");
  const std::vector<uint8_t> a = {1, 2, 3};
  auto mode = [](const fs::path& p) { return fs::status(p).permissions() & fs::perms::all; };
  const mode_t before = ::umask(077);
  const bool created = writeFileAtomically(dir / "new.qvx", a);
  ::umask(022);
  const bool shared = writeFileAtomically(dir / "shared.qvx", a);
  ASSERT_TRUE(created && shared);
  EXPECT_EQ(mode(dir / "new.qvx"), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(mode(dir / "shared.qvx"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                          fs::perms::others_read);
  fs::permissions(dir / "shared.qvx", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(writeFileAtomically(dir / "shared.qvx", a));  // saved again under umask 022
  EXPECT_EQ(mode(dir / "shared.qvx"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ::umask(before);

  for (const char* name : {"new.qvx.k3Jz9Q", "new.qvx.Fresh1", "new.qvx.notes", "other.qvx.k3Jz9Q"})
    std::ofstream(dir / name) << "left over";
  const auto old = fs::file_time_type::clock::now() - std::chrono::minutes(10);
  for (const char* name : {"new.qvx.k3Jz9Q", "new.qvx.notes", "other.qvx.k3Jz9Q"}) fs::last_write_time(dir / name, old);
  ASSERT_TRUE(writeFileAtomically(dir / "new.qvx", a));
  EXPECT_FALSE(fs::exists(dir / "new.qvx.k3Jz9Q"));
  EXPECT_TRUE(fs::exists(dir / "new.qvx.Fresh1"));  // a write under way may own it
  EXPECT_TRUE(fs::exists(dir / "new.qvx.notes"));   // not of our naming
  EXPECT_TRUE(fs::exists(dir / "other.qvx.k3Jz9Q"));  // another file's
}

TEST(Bitmap24, RowsAreBottomUpAndPaddedToFourBytes) {
  Bitmap24 bmp(5, 2);
  EXPECT_EQ(bmp.stride(), 16);
  EXPECT_EQ(bmp.pixels.size(), 32u);
  bmp.set(0, 0, {10, 20, 30});  // top-left as seen
  // The top row is stored last; BGR order.
  EXPECT_EQ(bmp.pixels[16 + 0], 30);
  EXPECT_EQ(bmp.pixels[16 + 1], 20);
  EXPECT_EQ(bmp.pixels[16 + 2], 10);
  bmp.set(7, 0, {1, 1, 1});  // outside: ignored
  EXPECT_EQ(bmp.get(0, 0).g, 20);
}

TEST(Language, PicksByLangueAndFormats) {
  Text t{"Coupes (%d)", "Slices (%d)"};
  EXPECT_EQ(format(t.pick(kFrench), 40), "Coupes (40)");
  EXPECT_EQ(format(t.pick(kEnglish), 40), "Slices (40)");
}

TEST(ScriptedPlatform, RecordsCallsAndConsumesQueuedAnswers) {
  ScriptedPlatform p;
  p.openAnswers.push_back(FileChoice{"/a.dcm", 1});
  auto first = p.chooseOpenFile("Open", {{"DICOM file", "*.dcm"}}, 1);
  auto second = p.chooseOpenFile("Open", {{"DICOM file", "*.dcm"}}, 1);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->path, "/a.dcm");
  EXPECT_FALSE(second.has_value());  // empty queue: the user cancels
  EXPECT_EQ(p.count("open"), 2);
  EXPECT_EQ(p.question("Sure?"), QuestionAnswer::Cancel);
  p.startTimer(TimerId::Cine, 250);
  p.stopTimer(TimerId::Cine);
  EXPECT_TRUE(p.runningTimers.empty());
  try {
    p.fatal(33, "Sorry, the software must close...", "Memory Error. Code  DD1 ");
    FAIL() << "fatal returned";
  } catch (const FatalExit& e) {
    EXPECT_EQ(e.code, 33);
  }
}

TEST(TraceLog, WritesOnlyInDeveloperMode) {
  fs::path dir = freshFolder("log_off");
  TraceLog off(dir);
  off.WRITE_LOGFILE("nothing\n");
  EXPECT_FALSE(off.enabled());
  EXPECT_FALSE(fs::exists(dir / "temp" / "log.txt"));

  fs::path dev = freshFolder("log_on");
  std::ofstream(dev / "work_version.txt") << "x";
  TraceLog on(dev);
  ASSERT_TRUE(on.enabled());
  on.WRITE_LOGFILE("line one\n");
  on.writef("datamax %d\n", 7);
  std::ifstream in(dev / "temp" / "log.txt");
  std::string all((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(all, "\n\n   --- LOG FILE ---\n\nline one\ndatamax 7\n");
}

TEST(ApplicationFolder, EnvironmentOverrides) {
  fs::path dir = freshFolder("home");
  ::setenv("QUORVEL_HOME", dir.c_str(), 1);
  EXPECT_EQ(applicationFolder(), dir);
  ::unsetenv("QUORVEL_HOME");
  EXPECT_NE(applicationFolder(), dir);
}
