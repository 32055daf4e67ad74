#include "platform/linux/x11_display_profile.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace quendra::desktop {

namespace {
constexpr long kMaxProfileWords = 16 << 20 >> 2;  // 16 MiB: larger is no display profile
}

std::vector<uint8_t> X11DisplayProfile(Display* d) {
  std::vector<uint8_t> icc;
  // Only an atom the server knows can name a property: an unknown one means no profile.
  const Atom property = XInternAtom(d, "_ICC_PROFILE", True);
  if (property == None) return icc;
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(d, DefaultRootWindow(d), property, 0, kMaxProfileWords, False, XA_CARDINAL,
                         &type, &format, &count, &after, &data) == Success &&
      data != nullptr) {
    if (type == XA_CARDINAL && format == 8 && after == 0) icc.assign(data, data + count);
    XFree(data);
  }
  return icc;
}

}  // namespace quendra::desktop
