#include "study/study_record.h"

#include "base/generation.h"

namespace quorvel {

uint64_t countsFingerprint(const Study& s) {
  return s.DATA.empty() ? 0 : fingerprintBytes(s.DATA.data(), s.DATA.size() * sizeof(float));
}

void stampCounts(Study& s) { s.countsGeneration = countsFingerprint(s); }

}  // namespace quorvel
