#include "shell/paste_handover.h"

#include <memory>
#include <string>

namespace quendra {

namespace {

struct Handover {
  WindowProcesses& processes;
  Scheduler after;
  DesktopApplication editor;
  ProcessId started = 0;
  std::chrono::milliseconds waited{0};

  WindowHandle FindEditorWindow() const {
    WindowHandle w = editor.executable.empty()
                         ? kNoWindow
                         : FindWindowByExecutable(processes, editor.executable);
    if (w == kNoWindow && !editor.windowClass.empty())
      w = processes.FindWindowByClass(editor.windowClass);
    if (w == kNoWindow && started != 0) w = processes.FindWindowOfProcess(started);
    return w;
  }

  // Activation is only asked for: the pause before the keystrokes gives it time.
  static void Paste(const std::shared_ptr<Handover>& h, WindowHandle window) {
    h->processes.RequestActivation(window);
    h->after(kPasteDelay, [h] { h->processes.SendPasteKeystrokes(); });
  }

  // A new editor needs time for its window; typing before it is there would paste into some
  // other window.
  static void Poll(const std::shared_ptr<Handover>& h) {
    if (h->waited >= kNewEditorWait) return;
    h->waited += kNewEditorPoll;
    h->after(kNewEditorPoll, [h] {
      const WindowHandle window = h->FindEditorWindow();
      if (window != kNoWindow)
        Paste(h, window);
      else
        Poll(h);
    });
  }
};

}  // namespace

void PasteIntoDefaultEditor(ProgramAssociations& associations, WindowProcesses& processes,
                            ProgramLauncher& launcher, const Scheduler& after) {
  // Always the bitmap editor, whatever the shown picture's format: the clipboard holds a bitmap.
  auto h = std::make_shared<Handover>(Handover{processes, after, {}, 0, {}});
  h->editor = associations.GetAssociatedApplication(".bmp");
  if (h->editor.executable.empty() && h->editor.desktopId.empty()) return;

  const WindowHandle window = h->FindEditorWindow();
  if (window != kNoWindow) return Handover::Paste(h, window);
  const std::optional<ProcessId> started = launcher.StartApplication(h->editor);
  if (!started) return;
  h->started = *started;
  Handover::Poll(h);
}

}  // namespace quendra
