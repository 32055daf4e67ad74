#include "platform/linux/x11_property.h"

#include <X11/Xatom.h>

#include "platform/linux/x11_window_state.h"

namespace quendra::desktop {

Atom Intern(Display* d, const char* name) {
  return XInternAtom(d, name, False);
}

std::vector<unsigned long> Property(Display* d, Window w, Atom property, Atom type) {
  std::vector<unsigned long> items;
  Atom actualType;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(d, w, property, 0, 1 << 16, False, type, &actualType, &format, &count,
                         &after, &data) == Success &&
      data != nullptr) {
    if (actualType == type && format == 32) {
      const auto* values = reinterpret_cast<const unsigned long*>(data);
      items.assign(values, values + count);
    }
    XFree(data);
  }
  return items;
}

// A window manager is there when _NET_SUPPORTING_WM_CHECK names a window that names itself.
bool X11WindowManagerPresent(Display* d) {
  const Atom check = Intern(d, "_NET_SUPPORTING_WM_CHECK");
  const auto root = Property(d, DefaultRootWindow(d), check, XA_WINDOW);
  if (root.size() != 1) return false;
  const auto self = Property(d, root[0], check, XA_WINDOW);
  return self.size() == 1 && self[0] == root[0];
}

}  // namespace quendra::desktop
