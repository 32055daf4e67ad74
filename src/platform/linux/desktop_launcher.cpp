#include "platform/linux/desktop_launcher.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <memory>

#include "platform/linux/session_bus.h"

namespace quendra::desktop {

namespace {
struct GFreeDeleter {
  void operator()(void* p) const { g_free(p); }
};
struct UnrefDeleter {
  void operator()(void* p) const { g_object_unref(p); }
};
struct ErrorDeleter {
  void operator()(GError* e) const { g_error_free(e); }
};
using GText = std::unique_ptr<char, GFreeDeleter>;
template <typename T>
using GRef = std::unique_ptr<T, UnrefDeleter>;

// Relative paths are taken against the current folder, as a shell would.
GRef<GFile> FileFor(const std::string& path) {
  return GRef<GFile>(g_file_new_for_path(path.c_str()));
}

// What a started program inherits: the environment, without the bus address set only to keep
// this process from autolaunching a bus.
GRef<GAppLaunchContext> ChildContext() {
  GRef<GAppLaunchContext> context(g_app_launch_context_new());
  if (SessionBusAddressIsOurs()) g_app_launch_context_unsetenv(context.get(), kSessionBusVariable);
  return context;
}

bool LaunchUri(const char* uri) {
  GError* raw = nullptr;
  const bool ok = g_app_info_launch_default_for_uri(uri, ChildContext().get(), &raw) != FALSE;
  std::unique_ptr<GError, ErrorDeleter> error(raw);
  return ok;
}
}  // namespace

std::string DesktopLauncher::FileUri(const std::string& path) {
  GText uri(g_file_get_uri(FileFor(path).get()));
  return uri ? std::string(uri.get()) : std::string();
}

bool DesktopLauncher::StartExecutable(const std::string& path) {
  return Spawn(path, nullptr);
}

bool DesktopLauncher::Spawn(const std::string& path, const char* argument) {
  if (path.empty()) return false;
  char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(argument), nullptr};
  GError* raw = nullptr;
  char** env = g_get_environ();
  if (SessionBusAddressIsOurs()) env = g_environ_unsetenv(env, kSessionBusVariable);
  const gboolean ok =
      g_spawn_async(nullptr, argv, env, static_cast<GSpawnFlags>(G_SPAWN_STDIN_FROM_DEV_NULL),
                    nullptr, nullptr, nullptr, &raw);
  g_strfreev(env);
  std::unique_ptr<GError, ErrorDeleter> error(raw);
  return ok != FALSE;
}

std::optional<ProcessId> DesktopLauncher::StartApplication(const DesktopApplication& app) {
  return Launch(app, nullptr);
}

std::optional<ProcessId> DesktopLauncher::StartApplicationWithFile(const DesktopApplication& app,
                                                                   const std::string& path) {
  return Launch(app, &path);
}

std::optional<ProcessId> DesktopLauncher::Launch(const DesktopApplication& app,
                                                 const std::string* path) {
  if (app.desktopId.empty()) {
    if (!Spawn(app.executable, path ? path->c_str() : nullptr)) return std::nullopt;
    return ProcessId{0};
  }
  GRef<GDesktopAppInfo> info(g_desktop_app_info_new(app.desktopId.c_str()));
  if (!info) return std::nullopt;
  const std::string uri = path ? FileUri(*path) : std::string();
  GList uris{const_cast<char*>(uri.c_str()), nullptr, nullptr};
  ProcessId pid = 0;
  auto spawned = [](GDesktopAppInfo*, GPid p, gpointer user) {
    *static_cast<ProcessId*>(user) = static_cast<ProcessId>(p);
  };
  GError* raw = nullptr;
  // Without G_SPAWN_DO_NOT_REAP_CHILD GLib reaps the child itself: no zombie is left.
  const gboolean ok = g_desktop_app_info_launch_uris_as_manager(
      info.get(), path ? &uris : nullptr, ChildContext().get(),
      static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH), nullptr, nullptr, spawned, &pid, &raw);
  std::unique_ptr<GError, ErrorDeleter> error(raw);
  if (!ok) return std::nullopt;
  return pid;
}

bool DesktopLauncher::LaunchDefaultForPath(const std::string& path) {
  return LaunchUri(FileUri(path).c_str());
}

void DesktopLauncher::OpenInDefaultApplication(const std::string& path) {
  (void)LaunchDefaultForPath(path);
}

bool DesktopLauncher::ShowItemsOverDBus(const std::string& path) {
  if (SessionBusAddressIsOurs()) return false;  // no bus: nobody to ask
  GError* raw = nullptr;
  GRef<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &raw));
  std::unique_ptr<GError, ErrorDeleter> error(raw);
  if (!bus) return false;
  const std::string uri = FileUri(path);
  const char* uris[] = {uri.c_str(), nullptr};
  raw = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(
      bus.get(), "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
      "org.freedesktop.FileManager1", "ShowItems", g_variant_new("(^ass)", uris, ""), nullptr,
      G_DBUS_CALL_FLAGS_NONE, kDBusTimeoutMs, nullptr, &raw);
  error.reset(raw);
  if (reply == nullptr) return false;
  g_variant_unref(reply);
  return true;
}

void DesktopLauncher::ShowInFileManager(const std::string& path) {
  if (ShowItemsOverDBus(path)) return;
  GRef<GFile> parent(g_file_get_parent(FileFor(path).get()));
  if (!parent) return;
  GText uri(g_file_get_uri(parent.get()));
  if (uri) (void)LaunchUri(uri.get());
}

}  // namespace quendra::desktop
