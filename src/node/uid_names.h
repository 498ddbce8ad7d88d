#pragma once
// File and folder names for what arrives over the network: only from sanitised identifiers, so
// that nothing a data set carries can name a path outside the node's folders.
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::node {

inline constexpr size_t kMaxUidLength = 64;
inline constexpr size_t kMaxFolderNameLength = 64;

// A DICOM UID as a file name: digits separated by single dots, at most 64 characters, neither
// starting nor ending with a dot; nothing when it is not one.
std::optional<std::string> uidFileName(std::string_view uid);

// Any text (a patient ID) as one folder name: letters, digits, '-' and '_' kept, every other
// character '_', at most 64 characters; "unknown" when nothing is left.
std::string folderNameOf(std::string_view text);

}  // namespace quorvel::node
