#pragma once
// The popup menu as data: every command of the window with its caption, shortcut code and
// whether it is shown. Hidden items are reached through their shortcuts only.
#include <array>
#include <cstdint>
#include <string_view>

namespace quendra {

class TForm1;

struct MenuItem {
  std::string_view name;
  std::string_view caption;  // "&&" shows one ampersand
  uint16_t shortcut;         // 0: none
  bool visible;
  void (TForm1::*onClick)();  // null for the separator
};

extern const std::array<MenuItem, 19> kPopupMenu;

// The item whose shortcut equals the code, hidden items included; null when none.
const MenuItem* FindShortcut(uint16_t code);

}  // namespace quendra
