#include "base/language.h"

#include <vector>

namespace quorvel {

std::string vformat(const char* fmt, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  if (n <= 0) return {};
  std::vector<char> buf(static_cast<size_t>(n) + 1);
  std::vsnprintf(buf.data(), buf.size(), fmt, args);
  return std::string(buf.data(), static_cast<size_t>(n));
}

std::string format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string s = vformat(fmt, args);
  va_end(args);
  return s;
}

std::string shownDate(const std::string& d) {
  return d.size() == 8 ? d.substr(6, 2) + "/" + d.substr(4, 2) + "/" + d.substr(0, 4) : d;
}

}  // namespace quorvel
