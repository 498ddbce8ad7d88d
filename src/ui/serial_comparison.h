#pragma once
// Exams of one patient over time: the same patient checked, the change of every global result
// with its own interval and minimal detectable change, and the fall of the left ejection fraction
// judged by a published criterion of cardiotoxicity.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/options.h"
#include "curves/result_uncertainty.h"
#include "study/study_record.h"

namespace quorvel {

struct ExamIdentity {
  std::string patientId, patientName, birthDate, studyDate;
};
ExamIdentity identityOf(const StudyRecord& s);
// The identity fields both exams give and that differ ("patient ID", "name", "birth date").
std::vector<std::string> identityMismatches(const ExamIdentity& a, const ExamIdentity& b);
// Those fields as one text ("name, birth date").
std::string joinedFields(const std::vector<std::string>& fields);

// A fall of the left ejection fraction of at least fallPoints to a value below `below` (per cent);
// fallPoints 0: a value below `below` after one at or above it.
struct FallCriterion {
  const char* key;
  double fallPoints, below;
  const char* label;   // short, as the options panel and the report show it
  const char* source;  // the publication that defines it
};
inline constexpr std::array<FallCriterion, 4> kFallCriteria{{
    {"fall10-below50", 10, 50, "10 / 50 %", "European Society of Cardiology position paper 2016 and guidelines 2022"},
    {"fall10-below53", 10, 53, "10 / 53 %", "ASE/EACVI expert consensus 2014"},
    {"fall10-below55", 10, 55, "10 / 55 %", "Cardiac Review and Evaluation Committee 2002 (without symptoms)"},
    {"below40", 0, 40, "- / 40 %", "European Society of Cardiology guidelines 2022 (severe dysfunction)"},
}};
static_assert(kFallCriteria.size() == kFallCriterionChoices, "the options offer every criterion");
const FallCriterion* fallCriterionNamed(std::string_view key);

// Two exams of an unchanged heart differ by more than one acquisition's noise: position, labelling,
// heart rate and loading change too. Repeat exams of 33 stable patients a year apart differed in
// resting left EF by a standard deviation of 4 points (blood-pool ventriculography); a change of
// the left EF is judged against no less than that spread.
inline constexpr double kLeftEfRepeatExamSd = 4.0;  // points

// From one exam to the next: per result the change (new - old), its standard uncertainty (the two
// exams' combined; for the left ejection fraction at least the spread of repeat exams), its 95 %
// interval and the minimal detectable change (1.96 times that uncertainty); flag: the fall of the
// left ejection fraction meets the criterion.
struct PairComparison {
  std::array<double, kUncertainResults> change{}, uncertainty{}, low95{}, high95{}, mdc{};
  std::array<bool, kUncertainResults> beyondMdc{};
  std::array<bool, kUncertainResults> repeatExamSpread{};  // the uncertainty is the repeat exams' spread
  bool flag = false;
};
PairComparison comparePair(const ResultUncertainties& before, const ResultUncertainties& after,
                           const FallCriterion& criterion);

}  // namespace quorvel
