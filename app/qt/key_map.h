#pragma once
// Qt's keys as the stages know them, both ways (the way back is for scripts).
#include <optional>

#include "ui/input_events.h"

namespace quorvel {

std::optional<Key> keyOfQt(int qtKey);
int qtKeyOf(Key key);

}  // namespace quorvel
