#pragma once
// The help panel of each stage (H shows it): a title, then groups of bindings separated by a line
// of 45 underscores, in French or English.
#include <string>

namespace quorvel {

// stage: 0, 1 (with the re-orientation step fich_axis 0..2), 2, 3, 22, 4 or 5 (the options panel).
std::string helpText(int stage, int fich_axis, int LANGUE);

}  // namespace quorvel
