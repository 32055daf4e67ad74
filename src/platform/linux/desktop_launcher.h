#pragma once
// Starting programs and opening documents through GIO and the freedesktop file-manager
// interface. Paths travel as argument vectors or file URIs, never through a shell.
#include <string>

#include "shell/launcher.h"

namespace quendra::desktop {

class DesktopLauncher final : public ProgramLauncher {
 public:
  // Spawned with the path as its only argument; reaped by GLib, so no zombie is left.
  bool StartExecutable(const std::string& path) override;
  // Through the desktop entry when there is one (its Exec line, wrappers and sandboxes
  // included), reporting the process GLib spawned; else the executable.
  std::optional<ProcessId> StartApplication(const DesktopApplication& app) override;
  // The entry's Exec line given the file's URI (or the executable given its path).
  std::optional<ProcessId> StartApplicationWithFile(const DesktopApplication& app,
                                                    const std::string& path) override;
  // The default application for the file's type, given the file's URI.
  void OpenInDefaultApplication(const std::string& path) override;
  // org.freedesktop.FileManager1.ShowItems on the session bus; when no file manager answers,
  // the containing folder is opened in the default application for folders.
  void ShowInFileManager(const std::string& path) override;

  // The pieces, for tests: true when the bus call succeeded / the launch was accepted.
  static bool ShowItemsOverDBus(const std::string& path);
  static bool LaunchDefaultForPath(const std::string& path);
  static std::string FileUri(const std::string& path);

  static constexpr int kDBusTimeoutMs = 3000;

 private:
  static bool Spawn(const std::string& path, const char* argument);
  static std::optional<ProcessId> Launch(const DesktopApplication& app, const std::string* path);
};

}  // namespace quendra::desktop
