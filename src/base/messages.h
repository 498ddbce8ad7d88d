#pragma once
// Shared message helpers: warning (MEMS), information (MUMS) and the fatal memory box (MOMS).
#include <cstdlib>
#include <string>

#include "base/language.h"
#include "base/platform.h"

namespace quorvel {

inline constexpr int kExitMemory = 33;

inline constexpr Text kMemoryErrorTitle{"Désolé, le programme doit fermer...", "Sorry, the software must close..."};
inline constexpr Text kMemoryErrorText{"Erreur Mémoire. Code ", "Memory Error. Code "};

inline void MEMS(Platform& p, const std::string& text) { p.warning(text); }
inline void MUMS(Platform& p, const std::string& text) { p.information(text); }
// Memory exhausted: shows the box with the short code (" DD1 ") and ends with exit code 33.
[[noreturn]] inline void MOMS(Platform& p, int LANGUE, const char* code) {
  p.fatal(kExitMemory, kMemoryErrorTitle.pick(LANGUE), std::string(kMemoryErrorText.pick(LANGUE)) + code);
  std::abort();  // fatal() never returns; this keeps the compiler sure of it
}

}  // namespace quorvel
