#pragma once
// Which Qt platform the viewer runs on. Always-on-top, the view modes' window states and the
// paste keystrokes need X11, so on a Wayland session the viewer goes through XWayland when it
// can, unless the user chose a platform.
namespace quendra::qt {

// Before the application object exists: sets QT_QPA_PLATFORM to "xcb" when the session is
// Wayland, an X display is there (DISPLAY) and QT_QPA_PLATFORM is unset.
void PreferX11OnWaylandSession();

// After it exists: the viewer runs on Qt's native Wayland platform, where a client may not keep
// itself on top, place its window or type into another program's window.
bool OnNativeWayland();

}  // namespace quendra::qt
