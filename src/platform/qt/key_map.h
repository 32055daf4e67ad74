#pragma once
#include <QKeyEvent>

#include "app/keys.h"

namespace quendra::qt {

// The virtual-key code of a Qt key (letters and digits as their upper-case ASCII codes);
// VK_UNNAMED for keys the viewer has no name for, which still take the normal route.
uint16_t VirtualKeyOf(int qtKey);
ShiftState ShiftOf(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons = Qt::NoButton);

}  // namespace quendra::qt
