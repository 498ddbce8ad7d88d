// The node's spool and names: what arrives is checked, written whole, and analysed once.
#include "node/spool.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmnet/dimse.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "node/storage_scp.h"
#include "node/uid_names.h"
#include "scratch_folder.h"

namespace quorvel::node {
namespace {

namespace fs = std::filesystem;

TEST(NodeNames, OnlyDicomUidsBecomeFileNames) {
  struct Case {
    const char* uid;
    bool accepted;
  } cases[] = {{"1.2.840.10008.5.1.4.1.1.20", true},
               {"2.25.1234", true},
               {"1.2.3\0", true},
               {"1.2.3 ", true},
               {"", false},
               {"../../etc/passwd", false},
               {"1..2", false},
               {".1.2", false},
               {"1.2.", false},
               {"1.2/3", false},
               {"1.2.3a", false},
               {"1.22222222222222222222222222222222222222222222222222222222222222222", false}};
  for (const auto& c : cases) EXPECT_EQ(uidFileName(c.uid).has_value(), c.accepted) << c.uid;
  EXPECT_EQ(*uidFileName(std::string_view("1.2.3\0", 6)), "1.2.3");
}

TEST(NodeNames, PatientFoldersKeepNoPathCharacter) {
  EXPECT_EQ(folderNameOf("PAT-001_a"), "PAT-001_a");
  EXPECT_EQ(folderNameOf(" 123 "), "123");
  EXPECT_EQ(folderNameOf("../.."), "unknown");
  EXPECT_EQ(folderNameOf("a/b\\c"), "a_b_c");
  EXPECT_EQ(folderNameOf(""), "unknown");
  EXPECT_EQ(folderNameOf(std::string(200, 'x')).size(), kMaxFolderNameLength);
}

TEST(NodeNames, OnlyThisMachineIsLoopback) {
  for (const char* a : {"127.0.0.1", "127.1.2.3", "::1", "::ffff:127.0.0.1"}) EXPECT_TRUE(isLoopbackAddress(a)) << a;
  for (const char* a : {"10.0.0.1", "192.168.1.127", "::2", "1127.0.0.1", ""}) EXPECT_FALSE(isLoopbackAddress(a)) << a;
}

class NodeSpool : public ::testing::Test {
 protected:
  void SetUp() override { root = testing::scratchFolder() / "spool"; }

  static DcmDataset nmInstance(const char* study, const char* instance, const char* sopClass = kNmImageStorage) {
    DcmDataset d;
    d.putAndInsertString(DCM_SOPClassUID, sopClass);
    d.putAndInsertString(DCM_SOPInstanceUID, instance);
    if (study) d.putAndInsertString(DCM_StudyInstanceUID, study);
    d.putAndInsertString(DCM_PatientID, "P1");
    return d;
  }

  fs::path root;
};

TEST_F(NodeSpool, RefusesWhatIsNotAWellFormedNmInstanceWithItsStatus) {
  Spool spool(root);
  struct Case {
    const char *study, *instance, *datasetClass, *commandClass, *commandInstance;
    uint16_t status;
  } cases[] = {
      {"1.2.3", "1.2.3.4", "1.2.840.10008.5.1.4.1.1.7", "1.2.840.10008.5.1.4.1.1.7", "1.2.3.4",
       STATUS_STORE_Refused_SOPClassNotSupported},
      {"1.2.3", "1.2.3.4", kNmImageStorage, kNmImageStorage, "1.2.3.5", STATUS_STORE_Error_DataSetDoesNotMatchSOPClass},
      {nullptr, "1.2.3.4", kNmImageStorage, kNmImageStorage, "1.2.3.4", STATUS_STORE_Error_CannotUnderstand},
      {"../../x", "1.2.3.4", kNmImageStorage, kNmImageStorage, "1.2.3.4", STATUS_STORE_Error_CannotUnderstand},
      {"1.2.3", "1.2.3.4", kNmImageStorage, kNmImageStorage, "1.2.3.4", STATUS_Success},
  };
  for (const auto& c : cases) {
    DcmDataset d = nmInstance(c.study, c.instance, c.datasetClass);
    EXPECT_EQ(spool.storeInstance(d, c.commandClass, c.commandInstance).status, c.status) << c.commandInstance;
  }
  // Only the good one is on disk, and nothing escaped the spool.
  size_t files = 0;
  for (const auto& f : fs::recursive_directory_iterator(root.parent_path())) files += f.is_regular_file();
  EXPECT_EQ(files, 1u);
  DcmFileFormat back;
  ASSERT_TRUE(back.loadFile((root / "1.2.3" / "1.2.3.4.dcm").c_str()).good());
  OFString patient;
  EXPECT_TRUE(back.getDataset()->findAndGetOFString(DCM_PatientID, patient).good());
  EXPECT_EQ(patient, "P1");
}

TEST_F(NodeSpool, AFullDiskRefusesNewInstancesAndKeepsWhatIsStored) {
  DcmDataset a = nmInstance("1.2.3", "1.2.3.1"), b = nmInstance("1.2.3", "1.2.3.2");
  ASSERT_TRUE(Spool(root).storeInstance(a, kNmImageStorage, "1.2.3.1").stored());
  Spool full(root, uintmax_t{1} << 40);  // asks for a million terabytes free
  EXPECT_EQ(full.storeInstance(b, kNmImageStorage, "1.2.3.2").status, STATUS_STORE_Refused_OutOfResources);
  const auto ready = full.readyStudies(std::chrono::seconds(0));
  ASSERT_EQ(ready.size(), 1u);
  EXPECT_EQ(ready[0].instances, std::vector<std::string>{"1.2.3.1.dcm"});
}

TEST_F(NodeSpool, AStudyIsReadyAfterItsQuietTimeAndAnalysedOnceForTheSameInstances) {
  Spool spool(root);
  DcmDataset a = nmInstance("1.2.3", "1.2.3.1");
  ASSERT_TRUE(spool.storeInstance(a, kNmImageStorage, "1.2.3.1").stored());
  EXPECT_TRUE(spool.readyStudies(std::chrono::seconds(60)).empty()) << "not quiet yet";
  auto ready = spool.readyStudies(std::chrono::seconds(0));
  ASSERT_EQ(ready.size(), 1u);
  EXPECT_EQ(ready[0].study, "1.2.3");
  EXPECT_EQ(ready[0].instances, std::vector<std::string>{"1.2.3.1.dcm"});
  ASSERT_TRUE(spool.markAnalysed(ready[0]));
  EXPECT_TRUE(spool.readyStudies(std::chrono::seconds(0)).empty());

  // Sent again: the same instances, nothing to do; a new instance makes the study ready again,
  // also for a node started afresh on the same spool.
  ASSERT_TRUE(spool.storeInstance(a, kNmImageStorage, "1.2.3.1").stored());
  EXPECT_TRUE(spool.readyStudies(std::chrono::seconds(0)).empty());
  DcmDataset b = nmInstance("1.2.3", "1.2.3.2");
  ASSERT_TRUE(spool.storeInstance(b, kNmImageStorage, "1.2.3.2").stored());
  Spool restarted(root);
  ready = restarted.readyStudies(std::chrono::seconds(0));
  ASSERT_EQ(ready.size(), 1u);
  EXPECT_EQ(ready[0].instances.size(), 2u);
}

TEST_F(NodeSpool, HalfWrittenInstancesAreNeitherCountedNorKeptAfterARestart) {
  Spool spool(root);
  fs::create_directories(root / "1.2.3");
  std::ofstream(root / "1.2.3" / "1.2.3.1.dcm.part-77-1") << "half";
  EXPECT_TRUE(spool.readyStudies(std::chrono::seconds(0)).empty());
  spool.removeUnfinishedWrites();
  EXPECT_FALSE(fs::exists(root / "1.2.3" / "1.2.3.1.dcm.part-77-1"));
}

}  // namespace
}  // namespace quorvel::node
