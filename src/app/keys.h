#pragma once
// Keys as the viewer's logic sees them: virtual-key codes and a modifier set. A shortcut code
// is a key code plus 8192 for SHIFT, 16384 for CTRL and 32768 for ALT.
#include <cstdint>

namespace quendra {

enum VirtualKey : uint16_t {
  VK_BACK = 8,
  VK_TAB = 9,
  VK_RETURN = 13,
  VK_SHIFT = 16,
  VK_CONTROL = 17,
  VK_MENU = 18,  // ALT

  VK_ESCAPE = 27,
  VK_SPACE = 32,
  VK_PRIOR = 33,  // PAGE UP
  VK_NEXT = 34,   // PAGE DOWN
  VK_END = 35,
  VK_HOME = 36,
  VK_LEFT = 37,
  VK_UP = 38,
  VK_RIGHT = 39,
  VK_DOWN = 40,
  VK_INSERT = 45,
  VK_DELETE = 46,
  VK_F1 = 112,  // F1 to F24 follow in order
  // A key the viewer has no name for; it still takes the normal route.
  VK_UNNAMED = 0xFF,
};

struct ShiftState {
  bool shift = false, ctrl = false, alt = false;
  // Mouse buttons held, as the mouse handlers receive them.
  bool left = false, right = false, middle = false;
};

enum class MouseButton { mbLeft, mbRight, mbMiddle };

constexpr uint16_t kShortcutShift = 8192, kShortcutCtrl = 16384, kShortcutAlt = 32768;

// Modifier sets of the shortcut table.
inline constexpr ShiftState Ctrl{.ctrl = true}, CtrlAlt{.ctrl = true, .alt = true};

constexpr uint16_t ShortCut(uint16_t key, ShiftState s = {}) {
  return uint16_t(key + (s.shift ? kShortcutShift : 0) + (s.ctrl ? kShortcutCtrl : 0) +
                  (s.alt ? kShortcutAlt : 0));
}

}  // namespace quendra
