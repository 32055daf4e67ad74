#pragma once
// Reading X11 window properties, shared by the window search and the main window's state
// changes (which also finds X11WindowManagerPresent here, declared with the state queries).
#include <X11/Xlib.h>

#include <vector>

namespace quendra::desktop {

Atom Intern(Display* d, const char* name);
// Items of a 32-bit format property of the given type (Xlib hands them over as longs); empty
// when the window has no such property.
std::vector<unsigned long> Property(Display* d, Window w, Atom property, Atom type);

}  // namespace quendra::desktop
