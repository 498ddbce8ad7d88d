#pragma once
// Every user-visible text exists in French and English; LANGUE chooses (0 French, 1 English).
#include <cstdarg>
#include <cstdio>
#include <string>

namespace quorvel {

enum Langue : int { kFrench = 0, kEnglish = 1 };

struct Text {
  const char* fr;
  const char* en;
  const char* pick(int LANGUE) const { return LANGUE == kEnglish ? en : fr; }
};

// printf-style composition of a catalogue text (the original composes into a scratch string).
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string vformat(const char* fmt, va_list args);
// A date as YYYYMMDD shown as DD/MM/YYYY; any other text as it is.
std::string shownDate(const std::string& yyyymmdd);

}  // namespace quorvel
