#include "platform/linux/gio_associations.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <limits.h>
#include <stdlib.h>

#include <memory>

namespace quendra::desktop {

namespace {
struct GFreeDeleter {
  void operator()(void* p) const { g_free(p); }
};
using GString_ = std::unique_ptr<char, GFreeDeleter>;
struct UnrefDeleter {
  void operator()(void* p) const { g_object_unref(p); }
};
}  // namespace

namespace {
using App = std::unique_ptr<GAppInfo, UnrefDeleter>;

App DefaultAppFor(const std::string& extension) {
  const std::string name = "x" + extension;
  GString_ type(g_content_type_guess(name.c_str(), nullptr, 0, nullptr));
  if (!type) return nullptr;
  return App(g_app_info_get_default_for_type(type.get(), FALSE));
}

std::string ExecutableOf(GAppInfo* app) {
  const char* exe = g_app_info_get_executable(app);
  if (exe == nullptr || *exe == '\0') return {};
  GString_ found(g_find_program_in_path(exe));
  if (!found) return {};
  char resolved[PATH_MAX];
  if (realpath(found.get(), resolved) == nullptr) return {};
  return resolved;
}
}  // namespace

std::string GioAssociations::GetAssociatedExecutable(const std::string& extension) {
  App app = DefaultAppFor(extension);
  return app ? ExecutableOf(app.get()) : std::string();
}

DesktopApplication GioAssociations::GetAssociatedApplication(const std::string& extension) {
  App app = DefaultAppFor(extension);
  if (!app) return {};
  DesktopApplication result{ExecutableOf(app.get()), {}, {}};
  if (const char* id = g_app_info_get_id(app.get())) result.desktopId = id;
  if (G_IS_DESKTOP_APP_INFO(app.get()))
    if (const char* c = g_desktop_app_info_get_startup_wm_class(G_DESKTOP_APP_INFO(app.get())))
      result.windowClass = c;
  return result;
}

}  // namespace quendra::desktop
