#include "shell/window_processes.h"

#include "base/text.h"

namespace quendra {

WindowHandle FindWindowByExecutable(WindowProcesses& processes, const std::string& path) {
  const ProcessId pid = processes.FindProcessByExecutable(path);
  return pid == 0 ? kNoWindow : processes.FindWindowOfProcess(pid);
}

bool SameExecutableName(const std::string& a, const std::string& b) {
  return UpperCase(a) == UpperCase(b);
}

}  // namespace quendra
