#pragma once
// What the X server and the window manager report about one of the program's own top-level
// windows, for the main window's state changes: a window manager applies them asynchronously,
// so the window waits until they are visibly done instead of trusting its own requests.
#include <string>
#include <vector>

typedef struct _XDisplay Display;

namespace quendra::desktop {

// A window manager that keeps the EWMH hints is running on the display.
bool X11WindowManagerPresent(Display* d);
// The window manager manages the window: it carries WM_STATE Normal or Iconic. After an unmap
// this turns false once the manager has withdrawn the window.
bool X11WindowManaged(Display* d, unsigned long window);
// The atom names the window manager lists in _NET_SUPPORTED: the hints and states it can do.
std::vector<std::string> X11NetSupported(Display* d);
// The atom names in the window's _NET_WM_STATE, such as "_NET_WM_STATE_ABOVE".
std::vector<std::string> X11NetWmState(Display* d, unsigned long window);
// Asks the window manager to add (or remove) up to two _NET_WM_STATE atoms of a mapped window.
void X11RequestNetWmState(Display* d, unsigned long window, bool add, const char* first,
                          const char* second = nullptr);
// Whether any pointer button is held down anywhere on the display; a window manager that moves
// or resizes a window holds the pointer, so the window itself never sees the release.
bool X11PointerButtonHeld(Display* d);

}  // namespace quendra::desktop
