#pragma once
// Starting programs and opening documents through the desktop. No path ever passes through a
// command interpreter: each is handed over as one argument or as a file URI.
#include <optional>
#include <string>

#include "shell/progassoc.h"
#include "shell/window_processes.h"

namespace quendra {

class ProgramLauncher {
 public:
  virtual ~ProgramLauncher() = default;
  // Starts the executable without arguments, detached; false when it could not be started.
  virtual bool StartExecutable(const std::string& path) = 0;
  // Starts the application through its desktop entry, so wrapped and sandboxed applications
  // start as the desktop starts them (without an entry: its executable). The process started
  // (0 when not known); nothing when it could not be started.
  virtual std::optional<ProcessId> StartApplication(const DesktopApplication& app) {
    if (!StartExecutable(app.executable)) return std::nullopt;
    return ProcessId{0};
  }
  // The same with one file for the application to open; nothing when it could not be
  // started (or when this launcher cannot pass files).
  virtual std::optional<ProcessId> StartApplicationWithFile(const DesktopApplication& app,
                                                            const std::string& path) {
    (void)app, (void)path;
    return std::nullopt;
  }
  // Opens the file in the desktop's default application for it; failures are not reported.
  virtual void OpenInDefaultApplication(const std::string& path) = 0;
  // Shows the file selected in the file manager, or at least its folder; failures are not
  // reported.
  virtual void ShowInFileManager(const std::string& path) = 0;
};

}  // namespace quendra
