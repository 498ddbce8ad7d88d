#include "study/dicom_dictionary.h"

#include <algorithm>
#include <array>

namespace quorvel {

namespace {

bool inList(std::string_view vr, std::initializer_list<std::string_view> list) {
  return std::find(list.begin(), list.end(), vr) != list.end();
}

}  // namespace

const char* transferSyntaxUid(TransferSyntax syntax) {
  for (const TransferSyntaxEntry& e : kTransferSyntaxes)
    if (e.code == syntax) return e.uid;
  return nullptr;
}

TransferSyntax syntaxOfUid(std::string_view uid) {
  while (!uid.empty() && (uid.back() == '\0' || uid.back() == ' ')) uid.remove_suffix(1);
  for (const TransferSyntaxEntry& e : kTransferSyntaxes)
    if (uid == e.uid) return e.code;
  return kSyntaxUnknown;
}

bool isWellFormedUid(std::string_view uid) {
  constexpr size_t kMaxUidLength = 64;
  return !uid.empty() && uid.size() <= kMaxUidLength && uid.front() != '.' && uid.back() != '.' &&
         uid.find_first_not_of("0123456789.") == std::string_view::npos;
}

bool isLongFormVr(char a, char b) {
  const char vr[2] = {a, b};
  return inList({vr, 2}, {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"});
}

bool isTextVr(char a, char b) {
  const char vr[2] = {a, b};
  return inList({vr, 2}, {"AE", "AS", "CS", "DA", "DS", "DT", "IS", "LO", "LT", "PN", "SH", "ST", "TM", "UC", "UI", "UT"});
}

}  // namespace quorvel
