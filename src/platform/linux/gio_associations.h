#pragma once
// File associations from the desktop's MIME database and default applications (GIO).
#include <string>

#include "shell/progassoc.h"

namespace quendra::desktop {

class GioAssociations final : public ProgramAssociations {
 public:
  // The executable of the default application for the MIME type that a file named "x<ext>"
  // has, searched in PATH when the desktop entry names it bare, with symbolic links resolved
  // (as the process list reports executables). Empty when any step fails.
  std::string GetAssociatedExecutable(const std::string& extension) override;
  // The same application with its desktop entry's id and StartupWMClass.
  DesktopApplication GetAssociatedApplication(const std::string& extension) override;
};

}  // namespace quendra::desktop
