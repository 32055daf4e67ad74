#include "platform/linux/gio_associations.h"

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

std::string GioAssociations::GetAssociatedExecutable(const std::string& extension) {
  const std::string name = "x" + extension;
  GString_ type(g_content_type_guess(name.c_str(), nullptr, 0, nullptr));
  if (!type) return {};
  std::unique_ptr<GAppInfo, UnrefDeleter> app(g_app_info_get_default_for_type(type.get(), FALSE));
  if (!app) return {};
  const char* exe = g_app_info_get_executable(app.get());
  if (exe == nullptr || *exe == '\0') return {};
  GString_ found(g_find_program_in_path(exe));
  if (!found) return {};
  char resolved[PATH_MAX];
  if (realpath(found.get(), resolved) == nullptr) return {};
  return resolved;
}

}  // namespace quendra::desktop
