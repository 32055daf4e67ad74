#pragma once
// Running processes, their top-level windows and keystrokes into the focused window. The
// platform implements the interface; the matching rules that the logic relies on live here.
#include <cstdint>
#include <string>

#include "base/text.h"

namespace quendra {

using ProcessId = uint32_t;     // 0: none
using WindowHandle = uint64_t;  // 0: no window
inline constexpr WindowHandle kNoWindow = 0;

class WindowProcesses {
 public:
  virtual ~WindowProcesses() = default;
  // First running process (in the system's listing order) whose executable's full path, or
  // failing that its bare executable name, equals `path` ignoring case (SameExecutableName);
  // 0 when none does.
  virtual ProcessId FindProcessByExecutable(const std::string& path) = 0;
  // First top-level window of the process that is shown (or minimised) and takes input;
  // kNoWindow for process 0 or when there is none.
  virtual WindowHandle FindWindowOfProcess(ProcessId pid) = 0;
  // First top-level window that is shown (or minimised), takes input and whose class (either
  // part of WM_CLASS) is `windowClass`; kNoWindow when none is or the class is empty.
  virtual WindowHandle FindWindowByClass(const std::string&) { return kNoWindow; }
  // Restores the window if minimised and makes it the active one; true when it became active.
  // Failures are swallowed and give false.
  virtual bool RestoreAndActivateWindow(WindowHandle window) = 0;
  // As RestoreAndActivateWindow, but only asks: returns at once, without waiting to see it
  // happen (a caller on the user-interface thread waits through its event loop instead).
  virtual void RequestActivation(WindowHandle window) { (void)RestoreAndActivateWindow(window); }
  // Ctrl down, V down, V up, Ctrl up, into whatever window has the keyboard focus.
  virtual void SendPasteKeystrokes() = 0;
};

// FindWindowOfProcess of FindProcessByExecutable; process 0 is not asked for windows.
WindowHandle FindWindowByExecutable(WindowProcesses& processes, const std::string& path);

// Both upper-cased, then compared exactly: case is ignored, nothing else (no separators,
// relative parts or links are normalised).
bool SameExecutableName(const std::string& a, const std::string& b);

}  // namespace quendra
