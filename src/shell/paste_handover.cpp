#include "shell/paste_handover.h"

#include <string>
#include <thread>

namespace quendra {

void SleepFor(std::chrono::milliseconds duration) {
  std::this_thread::sleep_for(duration);
}

void PasteIntoDefaultEditor(ProgramAssociations& associations, WindowProcesses& processes,
                            ProgramLauncher& launcher, const PauseFunction& pause) {
  // Always the bitmap editor, whatever the shown picture's format: the clipboard holds a bitmap.
  const std::string editor = associations.GetAssociatedExecutable(".bmp");
  if (editor.empty()) return;

  WindowHandle window = FindWindowByExecutable(processes, editor);
  if (window != kNoWindow) {
    (void)processes.RestoreAndActivateWindow(window);  // the keystrokes follow the focus anyway
  } else {
    if (!launcher.StartExecutable(editor)) return;
    // A new editor needs time for its window; typing before it is there would paste into
    // some other window.
    for (auto waited = std::chrono::milliseconds(0); window == kNoWindow && waited < kNewEditorWait;
         waited += kNewEditorPoll) {
      pause(kNewEditorPoll);
      window = FindWindowByExecutable(processes, editor);
    }
    if (window == kNoWindow) return;
    (void)processes.RestoreAndActivateWindow(window);
  }
  pause(kPasteDelay);
  processes.SendPasteKeystrokes();
}

}  // namespace quendra
