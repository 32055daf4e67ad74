#include "platform/linux/desktop_shell.h"

#include <QObject>
#include <QTimer>

#include "shell/editor_file_handover.h"
#include "shell/paste_handover.h"

namespace quendra::desktop {

DesktopShell::DesktopShell() : timers_(std::make_unique<QObject>()) {}
DesktopShell::~DesktopShell() = default;

ShellHost::Paste DesktopShell::PasteIntoDefaultEditor(const Bitmap& picture) {
  const DesktopApplication editor = associations_.GetAssociatedApplication(".bmp");
  if (TakesPictureAsFile(editor) && OpenInEditorAsFile(editor, picture, launcher_))
    return Paste::kOpened;
  if (!typeKeys_) {
    if (!editor.executable.empty() || !editor.desktopId.empty()) launcher_.StartApplication(editor);
    return Paste::kByUser;
  }
  // The hand-over's waits are single-shot timers of the event loop: the window keeps painting
  // and taking input meanwhile. Steps still pending when the shell goes die with timers_.
  QObject* timers = timers_.get();
  quendra::PasteIntoDefaultEditor(
      associations_, processes_, launcher_,
      [timers](std::chrono::milliseconds delay, std::function<void()> next) {
        QTimer::singleShot(delay, timers, std::move(next));
      });
  return Paste::kTyped;
}

}  // namespace quendra::desktop
