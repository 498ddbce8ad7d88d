#include "console_platform.h"

#include <algorithm>
#include <iostream>

namespace quorvel::cli {

namespace {

// One message, one line: what reads the errors (batch, a scheduler's log) takes the last line.
std::string oneLine(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

}  // namespace

void ConsolePlatform::warning(const std::string& text) { std::cerr << oneLine(text) << '\n'; }
void ConsolePlatform::information(const std::string& text) { std::cerr << oneLine(text) << '\n'; }

QuestionAnswer ConsolePlatform::question(const std::string& text, const std::string& title) {
  if (!title.empty()) std::cerr << title << ": ";
  std::cerr << text << " -> cancelled (no one to answer)\n";
  return QuestionAnswer::Cancel;
}

void ConsolePlatform::beginProgress(const std::string& title) {
  ++progressDepth_;
  progressTitle_ = title;
}

bool ConsolePlatform::progress(double fraction) {
  if (showProgress) std::cerr << '\r' << progressTitle_ << ' ' << static_cast<int>(fraction * 100) << " %" << std::flush;
  return true;
}

void ConsolePlatform::endProgress() {
  if (progressDepth_ > 0 && --progressDepth_ > 0) return;
  if (showProgress) std::cerr << '\n';
}

void ConsolePlatform::fatal(int code, const std::string& title, const std::string& text) {
  std::cerr << title << '\n' << text << '\n';
  throw FatalExit{code, title, text};
}

}  // namespace quorvel::cli
