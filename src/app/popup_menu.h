#pragma once
// The popup menu as data: every command of the window with its caption, shortcut code and
// whether it is shown. Hidden items are reached through their shortcuts only.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// A shortcut as a menu shows it beside the caption: "Ctrl+Alt+C", "Esc"; empty for none.
std::string ShortcutText(uint16_t code);

// One line of the menu as the window shows it when it opens: a separator, or an item with the
// caption it has now ("Register" becomes "Unregister" once registered), its shortcut's text and
// its check mark.
struct MenuLine {
  const MenuItem* item;  // its onClick is null for a separator
  std::string caption;
  std::string shortcut;
  bool checkable = false;
  bool checked = false;
};
// The visible items in the menu's order.
std::vector<MenuLine> VisibleMenu(const TForm1& form);

}  // namespace quendra
