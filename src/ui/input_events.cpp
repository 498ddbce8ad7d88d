#include "ui/input_events.h"

#include <array>
#include <utility>

namespace quorvel {

namespace {

constexpr std::array<std::pair<Key, const char*>, 11> kNamed{{{Key::Return, "Return"},
                                                              {Key::Tab, "Tab"},
                                                              {Key::Escape, "Escape"},
                                                              {Key::BackSpace, "BackSpace"},
                                                              {Key::Space, "Space"},
                                                              {Key::PageUp, "PageUp"},
                                                              {Key::PageDown, "PageDown"},
                                                              {Key::Left, "Left"},
                                                              {Key::Right, "Right"},
                                                              {Key::Up, "Up"},
                                                              {Key::Down, "Down"}}};

}  // namespace

std::optional<Key> keyFromName(const std::string& name) {
  for (const auto& [key, text] : kNamed)
    if (name == text) return key;
  if (name.size() >= 2 && name[0] == 'F') {
    int n = 0;
    for (size_t i = 1; i < name.size(); ++i) {
      if (name[i] < '0' || name[i] > '9') return std::nullopt;
      n = n * 10 + (name[i] - '0');
    }
    if (n >= 1 && n <= 12) return static_cast<Key>(static_cast<int>(Key::F1) + n - 1);
    return std::nullopt;
  }
  if (name.size() == 1 && name[0] >= 'A' && name[0] <= 'Z') return static_cast<Key>(static_cast<int>(Key::A) + name[0] - 'A');
  return std::nullopt;
}

std::string keyName(Key key) {
  for (const auto& [k, text] : kNamed)
    if (k == key) return text;
  const int v = static_cast<int>(key);
  if (key >= Key::F1 && key <= Key::F12) return "F" + std::to_string(v - static_cast<int>(Key::F1) + 1);
  return std::string(1, static_cast<char>('A' + v - static_cast<int>(Key::A)));
}

}  // namespace quorvel
