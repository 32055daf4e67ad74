#include "platform/qt/platform_choice.h"

#include <QGuiApplication>
#include <cstdlib>
#include <cstring>

namespace quendra::qt {

namespace {
bool Set(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}
}  // namespace

void PreferX11OnWaylandSession() {
  const char* session = std::getenv("XDG_SESSION_TYPE");
  const bool wayland = (session && std::strcmp(session, "wayland") == 0) || Set("WAYLAND_DISPLAY");
  if (wayland && Set("DISPLAY") && !Set("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "xcb", 1);
}

bool OnNativeWayland() {
  return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

}  // namespace quendra::qt
