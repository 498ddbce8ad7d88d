#pragma once
// Keys and buttons as the stages know them, whatever the front end that delivers them.
#include <optional>
#include <string>

namespace quorvel {

enum class MouseButton { Primary, Secondary };

struct KeyModifiers {
  bool ctrl = false;
  bool shift = false;
};

enum class Key {
  Return, Tab, Escape, BackSpace, Space, PageUp, PageDown, Left, Right, Up, Down,
  F1, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12,
  A, B, C, D, E, F, G, H, I, J, K, L, M, N, O, P, Q, R, S, T, U, V, W, X, Y, Z,
};

// Names as the help texts and the scripts write them: "Return", "PageUp", "F1", "H", "Left" ...
std::optional<Key> keyFromName(const std::string& name);
std::string keyName(Key key);

}  // namespace quorvel
