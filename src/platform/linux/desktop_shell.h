#pragma once
// The desktop services of Linux behind the viewer's ShellHost, and the paste hand-over wired
// to them. Main thread only.
#include <memory>
#include <string>

#include "app/host.h"
#include "platform/linux/desktop_launcher.h"
#include "platform/linux/gio_associations.h"
#include "platform/linux/x11_windows.h"

class QObject;

namespace quendra::desktop {

class DesktopShell final : public ShellHost {
 public:
  DesktopShell();
  ~DesktopShell() override;
  void OpenInDefaultApplication(const std::string& path) override {
    launcher_.OpenInDefaultApplication(path);
  }
  void ShowInFileManager(const std::string& path) override { launcher_.ShowInFileManager(path); }
  // After the clipboard holds the picture: see quendra::PasteIntoDefaultEditor. Returns at
  // once; the steps run from the event loop. Where no keystroke may be typed (typeKeys off),
  // the editor is only started. Editors whose Ctrl+V would not paste it are started on a copy
  // of the picture instead (see TakesPictureAsFile).
  Paste PasteIntoDefaultEditor(const Bitmap& picture) override;
  void SetTypeKeys(bool typeKeys) { typeKeys_ = typeKeys; }

 private:
  GioAssociations associations_;
  X11WindowProcesses processes_;
  DesktopLauncher launcher_;
  std::unique_ptr<QObject> timers_;  // owner of the hand-over's pending timers
  bool typeKeys_ = true;             // Ctrl+V may be typed into the editor's window
};

}  // namespace quendra::desktop
