// Exams over time: the identity read alike from a study and from a reopened exam, the published
// criteria of a fall of the left ejection fraction, changes with their minimal detectable change.
#include "ui/serial_comparison.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "ui/compare_exams.h"

namespace quorvel {
namespace {

template <size_t N>
void setRaw(std::array<char, N>& field, const char* text) {
  field.fill('\0');
  std::memcpy(field.data(), text, std::min(N, std::strlen(text)));
}

TEST(SerialComparison, IdentityFromTheStudyOrTheExamsRawCopies) {
  StudyRecord read;  // as a DICOM file leaves it
  read.dicomPatientName = "Dupont^Jean", read.dicomPatientId = "ID42 ";
  read.PAT_DATE = "02/03/1961", read.ACQ_DATE = "15/01/2024";
  StudyRecord reopened;  // an exam keeps the raw copies only
  setRaw(reopened.patname, "DUPONT^JEAN");
  reopened.patname_long = 11;
  setRaw(reopened.patid, "ID42");
  setRaw(reopened.patbd, "19610302");
  setRaw(reopened.hdate, "20240115");
  const ExamIdentity a = identityOf(read), b = identityOf(reopened);
  EXPECT_EQ(a.patientName, "DUPONT JEAN");
  EXPECT_EQ(a.birthDate, "19610302");
  EXPECT_EQ(a.studyDate, b.studyDate);
  EXPECT_TRUE(identityMismatches(a, b).empty());
  setRaw(reopened.patbd, "19610303");
  reopened.patname_long = 6;  // "DUPONT": another name
  EXPECT_EQ(identityMismatches(a, identityOf(reopened)), (std::vector<std::string>{"name", "birth date"}));
  // A field one exam lacks is no mismatch.
  EXPECT_TRUE(identityMismatches(a, ExamIdentity{}).empty());
}

TEST(SerialComparison, FallCriteriaAndTheMinimalDetectableChange) {
  auto exam = [](double ef, double u) {
    ResultUncertainties r{};
    r[kEf] = {ef, u, 0, u, ef - kCoverage95 * u, ef + kCoverage95 * u};
    return r;
  };
  const struct {
    const char* criterion;
    double before, after;
    bool flag;
  } cases[] = {
      {"fall10-below50", 60, 45, true},   {"fall10-below50", 60, 50.5, false}, {"fall10-below50", 55, 46, false},
      {"fall10-below50", 59, 49, true},   {"fall10-below53", 62, 52, true},    {"fall10-below53", 62, 54, false},
      {"fall10-below55", 65, 54.9, true}, {"below40", 45, 39, true},           {"below40", 38, 30, false},
  };
  for (const auto& c : cases) {
    const FallCriterion* criterion = fallCriterionNamed(c.criterion);
    ASSERT_NE(criterion, nullptr) << c.criterion;
    EXPECT_EQ(comparePair(exam(c.before, 1), exam(c.after, 1), *criterion).flag, c.flag)
        << c.criterion << " " << c.before << " -> " << c.after;
  }
  EXPECT_EQ(fallCriterionNamed("fall3"), nullptr);
  // The change's uncertainty is the two exams' root sum of squares; the left EF's is at least the
  // spread of repeat exams, the right EF's is not.
  const struct {
    double uBefore, uAfter, after;
    int result;
    double mdc;
    bool repeatSpread, beyond;
  } changes[] = {
      {1, 2, 57, kEf, kCoverage95 * kLeftEfRepeatExamSd, true, false},
      {1, 2, 45, kEf, kCoverage95 * kLeftEfRepeatExamSd, true, true},
      {3, 4, 50, kEf, kCoverage95 * 5, false, true},
      {1, 2, 57, kResultsPerVentricle + kEf, kCoverage95 * std::sqrt(5.0), false, false},
      {0.5, 0.5, 57, kResultsPerVentricle + kEf, kCoverage95 * std::sqrt(0.5), false, true},
  };
  for (const auto& c : changes) {
    ResultUncertainties before{}, after{};
    before[c.result] = exam(60, c.uBefore)[kEf];
    after[c.result] = exam(c.after, c.uAfter)[kEf];
    const PairComparison p = comparePair(before, after, kFallCriteria[0]);
    EXPECT_DOUBLE_EQ(p.change[c.result], c.after - 60);
    EXPECT_NEAR(p.mdc[c.result], c.mdc, 1e-12) << c.uBefore << " " << c.uAfter << " " << c.result;
    EXPECT_EQ(p.repeatExamSpread[c.result], c.repeatSpread);
    EXPECT_EQ(p.beyondMdc[c.result], c.beyond) << c.after;
  }
}

// Exams given in any order are compared oldest first; the report's line is the change from the
// exam just before the open one, whichever place that is.
TEST(SerialComparison, ExamsInDateOrderAndTheOpenExamsPredecessor) {
  auto exam = [](const char* date, double ef) {
    ComparedExam e;
    e.identity.studyDate = date;
    e.uncertainty.results[kEf] = {ef, 1, 0, 1, ef - kCoverage95, ef + kCoverage95};
    return e;
  };
  const FallCriterion& criterion = kFallCriteria[0];
  // The open exam (index 1) is the latest: two earlier ones given newest first.
  SerialComparison c = compareExams({exam("20240601", 58), exam("20250110", 44), exam("20230301", 62)}, 1, criterion);
  ASSERT_EQ(c.exams.size(), 3u);
  EXPECT_EQ(c.exams[0].identity.studyDate, "20230301");
  EXPECT_EQ(c.current, 2);
  ASSERT_EQ(c.pairs.size(), 2u);
  EXPECT_DOUBLE_EQ(c.pairs[1].change[kEf], -14);
  EXPECT_TRUE(c.pairs[1].flag);
  EXPECT_FALSE(c.pairs[0].flag);
  std::optional<SerialSummary> s = summaryOf(c, criterion);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->previousDate, "20240601");
  EXPECT_DOUBLE_EQ(s->previousEf, 58);
  EXPECT_TRUE(s->flagged);
  EXPECT_NE(comparisonText(c, criterion, kEnglish).find("ALERT"), std::string::npos);
  // The open exam is the oldest: nothing before it to report.
  c = compareExams({exam("20240601", 58), exam("20230301", 62)}, 1, criterion);
  EXPECT_EQ(c.current, 0);
  EXPECT_FALSE(summaryOf(c, criterion));
}

}  // namespace
}  // namespace quorvel
