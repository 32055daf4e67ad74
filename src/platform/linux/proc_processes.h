#pragma once
// The running processes as /proc lists them.
#include <string>

#include "shell/window_processes.h"

namespace quendra::desktop {

// First process, by ascending id, whose /proc/PID/exe (the full path of its executable, links
// resolved) or else whose /proc/PID/comm (its name) equals `path` ignoring case; 0 when none.
// Other users' processes hide their exe link and are matched by name alone.
ProcessId FindProcessByExecutableIn(const std::string& procRoot, const std::string& path);

}  // namespace quendra::desktop
