// The popup item that switches the file manager's verb on and off.
#include "app/main_form.h"
#include "shell/context_menu.h"

namespace quendra {

void TForm1::TntPopupMenu1Popup() {
  if (verbs_) Register1Caption = RegisterCaption(*verbs_);
}

// Asks the store again rather than trusting the caption: another program may have changed it.
void TForm1::Register1Click() {
  if (verbs_) ToggleContextMenuEntry(*verbs_, executable_);
}

}  // namespace quendra
