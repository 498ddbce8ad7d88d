#pragma once
// The desktop's comparison of the open exam with earlier exams of its patient: each exam's results
// with their 95 % intervals, the change from one exam to the next against its minimal detectable
// change, and the fall of the left ejection fraction judged by the criterion of the options.
#include <string>
#include <vector>

#include "base/refusal.h"
#include "render/trend_plot.h"
#include "ui/serial_comparison.h"
#include "ui/uncertainty.h"

namespace quorvel {

class Workstation;

inline constexpr int kMaxComparedExams = 12;

struct ComparedExam {
  std::string file;  // empty: the exam open
  ExamIdentity identity;
  UncertaintyReport uncertainty;
  std::optional<Placement> placement;  // of its validated steps, when each was validated once
};

// The exams oldest first (by study date; undated ones keep their place), the pairs between
// consecutive ones.
struct SerialComparison {
  std::vector<ComparedExam> exams;
  std::vector<PairComparison> pairs;
  int current = -1;  // the exam open among them
};
SerialComparison compareExams(std::vector<ComparedExam> exams, int current, const FallCriterion& criterion);
// The text the desktop shows: each exam's ejection fractions with their intervals, each change.
std::string comparisonText(const SerialComparison& c, const FallCriterion& criterion, int LANGUE);
// What the report states: the exam just before the open one.
std::optional<SerialSummary> summaryOf(const SerialComparison& c, const FallCriterion& criterion);

// An exam's ejection fractions with their intervals, as the trend picture plots them.
TrendPoint trendPointOf(const std::string& studyDate, const ResultUncertainties& u);

// Whether two placements put the square, the lines and the angles within a voxel and a degree.
bool placedAlike(const Placement& a, const Placement& b);

// The command: earlier exams chosen one after the other, the patient checked (a mismatch needs the
// user's consent), each exam's uncertainty measured under a progress window that can stop it, the
// comparison shown (with the trend picture from three exams) and kept for the report while the
// results stay those compared. When the exam before the open one was placed otherwise, the user is
// offered to process the open acquisition with it as template, so that both are placed alike.
Status compareWithEarlierExamsCommand(Workstation& ws);

}  // namespace quorvel
