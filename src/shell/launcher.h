#pragma once
// Starting programs and opening documents through the desktop. No path ever passes through a
// command interpreter: each is handed over as one argument or as a file URI.
#include <string>

namespace quendra {

class ProgramLauncher {
 public:
  virtual ~ProgramLauncher() = default;
  // Starts the executable without arguments, detached; false when it could not be started.
  virtual bool StartExecutable(const std::string& path) = 0;
  // Opens the file in the desktop's default application for it; failures are not reported.
  virtual void OpenInDefaultApplication(const std::string& path) = 0;
  // Shows the file selected in the file manager, or at least its folder; failures are not
  // reported.
  virtual void ShowInFileManager(const std::string& path) = 0;
};

}  // namespace quendra
