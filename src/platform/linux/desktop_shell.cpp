#include "platform/linux/desktop_shell.h"

#include "shell/paste_handover.h"

namespace quendra::desktop {

void DesktopShell::PasteIntoDefaultEditor() {
  quendra::PasteIntoDefaultEditor(associations_, processes_, launcher_);
}

}  // namespace quendra::desktop
