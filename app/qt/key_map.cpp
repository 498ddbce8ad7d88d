#include "key_map.h"

#include <Qt>
#include <utility>

namespace quorvel {

namespace {

constexpr std::pair<int, Key> kNamedKeys[] = {
    {Qt::Key_Return, Key::Return},   {Qt::Key_Enter, Key::Return},       {Qt::Key_Tab, Key::Tab},
    {Qt::Key_Backtab, Key::Tab},     {Qt::Key_Escape, Key::Escape},      {Qt::Key_Backspace, Key::BackSpace},
    {Qt::Key_Space, Key::Space},     {Qt::Key_PageUp, Key::PageUp},      {Qt::Key_PageDown, Key::PageDown},
    {Qt::Key_Left, Key::Left},       {Qt::Key_Right, Key::Right},        {Qt::Key_Up, Key::Up},
    {Qt::Key_Down, Key::Down},
};

// F1..F12 and A..Z run in the same order on both sides.
constexpr int kFunctionKeys = 12, kLetters = 26;

}  // namespace

std::optional<Key> keyOfQt(int qtKey) {
  for (const auto& [qt, key] : kNamedKeys)
    if (qt == qtKey) return key;
  if (qtKey >= Qt::Key_F1 && qtKey < Qt::Key_F1 + kFunctionKeys)
    return static_cast<Key>(static_cast<int>(Key::F1) + (qtKey - Qt::Key_F1));
  if (qtKey >= Qt::Key_A && qtKey < Qt::Key_A + kLetters)
    return static_cast<Key>(static_cast<int>(Key::A) + (qtKey - Qt::Key_A));
  return std::nullopt;
}

int qtKeyOf(Key key) {
  const int k = static_cast<int>(key);
  if (k >= static_cast<int>(Key::F1) && k < static_cast<int>(Key::F1) + kFunctionKeys)
    return Qt::Key_F1 + (k - static_cast<int>(Key::F1));
  if (k >= static_cast<int>(Key::A) && k < static_cast<int>(Key::A) + kLetters)
    return Qt::Key_A + (k - static_cast<int>(Key::A));
  for (const auto& [qt, named] : kNamedKeys)
    if (named == key) return qt;
  return Qt::Key_unknown;
}

}  // namespace quorvel
