#include "console_platform.h"

#include <iostream>

namespace quorvel::cli {

void ConsolePlatform::warning(const std::string& text) { std::cerr << text << '\n'; }
void ConsolePlatform::information(const std::string& text) { std::cerr << text << '\n'; }

QuestionAnswer ConsolePlatform::question(const std::string& text, const std::string& title) {
  if (!title.empty()) std::cerr << title << ": ";
  std::cerr << text << " -> cancelled (no one to answer)\n";
  return QuestionAnswer::Cancel;
}

void ConsolePlatform::beginProgress(const std::string& title) { progressTitle_ = title; }

bool ConsolePlatform::progress(double fraction) {
  if (showProgress) std::cerr << '\r' << progressTitle_ << ' ' << static_cast<int>(fraction * 100) << " %" << std::flush;
  return true;
}

void ConsolePlatform::endProgress() {
  if (showProgress) std::cerr << '\n';
}

void ConsolePlatform::fatal(int code, const std::string& title, const std::string& text) {
  std::cerr << title << '\n' << text << '\n';
  throw FatalExit{code, title, text};
}

}  // namespace quorvel::cli
