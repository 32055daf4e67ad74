#pragma once
// Processes from /proc, their windows, activation and injected keystrokes through X11.
//
// With a window manager that keeps the EWMH hints, windows come from _NET_CLIENT_LIST and
// activation is asked of it with a _NET_ACTIVE_WINDOW message. Without one (a bare X server,
// as under Xvfb) the root window's children are walked, and activation maps and raises the
// window and gives it the input focus directly. Without an X server at all (DISPLAY unset,
// Wayland without XWayland) the window and keystroke steps yield nothing.
#include <string>

#include "shell/window_processes.h"

typedef struct _XDisplay Display;

namespace quendra::desktop {

class X11WindowProcesses final : public WindowProcesses {
 public:
  // `display`: the X display to use; empty means $DISPLAY. Connects on first use.
  explicit X11WindowProcesses(std::string display = {});
  ~X11WindowProcesses() override;
  X11WindowProcesses(const X11WindowProcesses&) = delete;
  X11WindowProcesses& operator=(const X11WindowProcesses&) = delete;

  ProcessId FindProcessByExecutable(const std::string& path) override;
  WindowHandle FindWindowOfProcess(ProcessId pid) override;
  WindowHandle FindWindowByClass(const std::string& windowClass) override;
  // True when the window manager reports it active (waiting at most kActivationWait for it),
  // or, without a window manager, when it holds the input focus.
  bool RestoreAndActivateWindow(WindowHandle window) override;
  // The same steps without waiting for the window manager's answer.
  void RequestActivation(WindowHandle window) override;
  void SendPasteKeystrokes() override;

  static constexpr int kActivationWaitMs = 1000;

 private:
  Display* Connection();
  bool Activate(WindowHandle window, bool wait);

  std::string displayName_;
  Display* display_ = nullptr;
  bool tried_ = false;
};

}  // namespace quendra::desktop
