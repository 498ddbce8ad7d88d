#include "ui/serial_comparison.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace quorvel {

namespace {

// Upper case, separators (spaces, carets, commas) folded to one space, ends trimmed.
std::string normalised(std::string_view text) {
  std::string out;
  for (char c : text) {
    const bool separator = c == ' ' || c == '^' || c == ',' || c == '\0';
    if (separator) {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string rawText(const char* data, size_t size) { return std::string(data, strnlen(data, size)); }

// A date as YYYYMMDD: the raw DICOM copy when there is one, else the shown DD/MM/YYYY turned round.
std::string dateOf(const char* raw, size_t size, const std::string& shown) {
  const std::string r = normalised(rawText(raw, size));
  if (!r.empty()) return r;
  if (shown.size() == 10 && shown[2] == '/' && shown[5] == '/')
    return shown.substr(6, 4) + shown.substr(3, 2) + shown.substr(0, 2);
  return normalised(shown);
}

}  // namespace

// Exams keep the raw copies only; a study as read has the whole texts as well.
ExamIdentity identityOf(const StudyRecord& s) {
  ExamIdentity id;
  id.patientId = normalised(s.dicomPatientId.empty() ? rawText(s.patid.data(), s.patid.size()) : s.dicomPatientId);
  const size_t nameLength = static_cast<size_t>(std::clamp(s.patname_long, 0, static_cast<int>(s.patname.size())));
  id.patientName = normalised(!s.dicomPatientName.empty() ? s.dicomPatientName
                              : !s.PAT_NAME.empty()       ? s.PAT_NAME
                                                          : rawText(s.patname.data(), nameLength));
  id.birthDate = dateOf(s.patbd.data(), s.patbd.size(), s.PAT_DATE);
  id.studyDate = dateOf(s.hdate.data(), s.hdate.size(), s.ACQ_DATE);
  return id;
}

std::vector<std::string> identityMismatches(const ExamIdentity& a, const ExamIdentity& b) {
  std::vector<std::string> out;
  const struct {
    const std::string ExamIdentity::*field;
    const char* name;
  } fields[] = {{&ExamIdentity::patientId, "patient ID"},
                {&ExamIdentity::patientName, "name"},
                {&ExamIdentity::birthDate, "birth date"}};
  for (const auto& f : fields) {
    const std::string &x = a.*f.field, &y = b.*f.field;
    if (!x.empty() && !y.empty() && x != y) out.push_back(f.name);
  }
  return out;
}

std::string joinedFields(const std::vector<std::string>& fields) {
  std::string out;
  for (const std::string& f : fields) out += (out.empty() ? "" : ", ") + f;
  return out;
}

const FallCriterion* fallCriterionNamed(std::string_view key) {
  for (const FallCriterion& c : kFallCriteria)
    if (key == c.key) return &c;
  return nullptr;
}

PairComparison comparePair(const ResultUncertainties& before, const ResultUncertainties& after,
                           const FallCriterion& criterion) {
  PairComparison p;
  for (int i = 0; i < kUncertainResults; ++i) {
    p.change[i] = after[i].value - before[i].value;
    p.uncertainty[i] = std::hypot(before[i].standard, after[i].standard);
    if (i == kEf && p.uncertainty[i] < kLeftEfRepeatExamSd) {
      p.uncertainty[i] = kLeftEfRepeatExamSd;
      p.repeatExamSpread[i] = true;
    }
    p.mdc[i] = kCoverage95 * p.uncertainty[i];
    p.low95[i] = p.change[i] - p.mdc[i];
    p.high95[i] = p.change[i] + p.mdc[i];
    p.beyondMdc[i] = std::abs(p.change[i]) > p.mdc[i];
  }
  const double fall = -p.change[kEf];
  // Without a fall size the criterion is a new fall below the limit.
  const bool fell = criterion.fallPoints > 0 ? fall >= criterion.fallPoints : before[kEf].value >= criterion.below;
  p.flag = after[kEf].value < criterion.below && fell;
  return p;
}

}  // namespace quorvel
