#pragma once
// The desktop's file associations, as far as handing a picture to an editor needs them.
#include <string>

namespace quendra {

// The default application for a file type as the desktop describes it.
struct DesktopApplication {
  std::string executable;   // full path of its executable; empty when unknown
  std::string desktopId;    // its desktop entry ("org.gnome.Pinta.desktop"); empty without one
  std::string windowClass;  // the entry's StartupWMClass: the class its windows carry, or empty
};

class ProgramAssociations {
 public:
  virtual ~ProgramAssociations() = default;
  // The default application for files with `extension`; all fields empty when there is none.
  // The default knows only the executable.
  virtual DesktopApplication GetAssociatedApplication(const std::string& extension) {
    return {GetAssociatedExecutable(extension), {}, {}};
  }
  // Full path of the executable of the default application for files with `extension`
  // (such as ".bmp"); empty when there is none or the query fails.
  virtual std::string GetAssociatedExecutable(const std::string& extension) = 0;
};

}  // namespace quendra
