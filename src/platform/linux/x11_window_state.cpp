#include "platform/linux/x11_window_state.h"

#include "platform/linux/x11_property.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>

namespace quendra::desktop {

bool X11WindowManaged(Display* d, unsigned long window) {
  const Atom wmState = Intern(d, "WM_STATE");
  const auto state = Property(d, window, wmState, wmState);
  return !state.empty() && (state[0] == NormalState || state[0] == IconicState);
}

namespace {
std::vector<std::string> AtomNames(Display* d, const std::vector<unsigned long>& atoms) {
  std::vector<std::string> names;
  for (unsigned long atom : atoms) {
    if (char* name = XGetAtomName(d, atom)) {
      names.emplace_back(name);
      XFree(name);
    }
  }
  return names;
}
}  // namespace

std::vector<std::string> X11NetSupported(Display* d) {
  return AtomNames(d, Property(d, DefaultRootWindow(d), Intern(d, "_NET_SUPPORTED"), XA_ATOM));
}

std::vector<std::string> X11NetWmState(Display* d, unsigned long window) {
  return AtomNames(d, Property(d, window, Intern(d, "_NET_WM_STATE"), XA_ATOM));
}

void X11RequestNetWmState(Display* d, unsigned long window, bool add, const char* first,
                          const char* second) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window;
  e.xclient.message_type = Intern(d, "_NET_WM_STATE");
  e.xclient.format = 32;
  e.xclient.data.l[0] = add ? 1 : 0;
  e.xclient.data.l[1] = long(Intern(d, first));
  e.xclient.data.l[2] = second ? long(Intern(d, second)) : 0;
  e.xclient.data.l[3] = 1;  // a normal application
  XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
  XFlush(d);
}

bool X11PointerButtonHeld(Display* d) {
  Window root, child;
  int rx, ry, wx, wy;
  unsigned int mask = 0;
  if (!XQueryPointer(d, DefaultRootWindow(d), &root, &child, &rx, &ry, &wx, &wy, &mask))
    return false;
  return (mask & (Button1Mask | Button2Mask | Button3Mask)) != 0;
}

}  // namespace quendra::desktop
