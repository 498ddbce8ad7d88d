#include "node/uid_names.h"

#include <algorithm>

namespace quorvel::node {

std::optional<std::string> uidFileName(std::string_view uid) {
  // DICOM pads values to an even length with a NUL or a space.
  while (!uid.empty() && (uid.back() == '\0' || uid.back() == ' ')) uid.remove_suffix(1);
  if (uid.empty() || uid.size() > kMaxUidLength || uid.front() == '.' || uid.back() == '.') return std::nullopt;
  for (size_t i = 0; i < uid.size(); ++i) {
    const char c = uid[i];
    if (c == '.' ? uid[i - 1] == '.' : (c < '0' || c > '9')) return std::nullopt;
  }
  return std::string(uid);
}

std::string folderNameOf(std::string_view text) {
  const auto padding = [](char c) { return c == ' ' || c == '\0'; };
  while (!text.empty() && padding(text.front())) text.remove_prefix(1);
  while (!text.empty() && padding(text.back())) text.remove_suffix(1);
  std::string name;
  for (const char c : text.substr(0, kMaxFolderNameLength)) {
    const bool kept =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    name += kept ? c : '_';
  }
  const bool onlyFill = std::all_of(name.begin(), name.end(), [](char c) { return c == '_'; });
  return onlyFill ? std::string("unknown") : name;
}

}  // namespace quorvel::node
