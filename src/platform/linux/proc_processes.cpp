#include "platform/linux/proc_processes.h"

#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace quendra::desktop {

namespace {

std::vector<ProcessId> ListProcesses(const std::string& procRoot) {
  std::vector<ProcessId> pids;
  DIR* dir = opendir(procRoot.c_str());
  if (dir == nullptr) return pids;
  while (const dirent* e = readdir(dir)) {
    char* end = nullptr;
    const unsigned long pid = std::strtoul(e->d_name, &end, 10);
    if (end != e->d_name && *end == '\0' && pid > 0) pids.push_back(static_cast<ProcessId>(pid));
  }
  closedir(dir);
  std::sort(pids.begin(), pids.end());
  return pids;
}

bool ReadExe(const std::string& dir, std::string& exe) {
  char buffer[PATH_MAX + 1];
  const ssize_t n = readlink((dir + "/exe").c_str(), buffer, PATH_MAX);
  if (n <= 0) return false;
  exe.assign(buffer, static_cast<size_t>(n));
  // An executable replaced on disk while running (a package upgrade) is still that program.
  static const std::string kDeleted = " (deleted)";
  if (exe.size() > kDeleted.size() && exe.ends_with(kDeleted))
    exe.resize(exe.size() - kDeleted.size());
  return true;
}

bool ReadComm(const std::string& dir, std::string& comm) {
  std::ifstream in(dir + "/comm");
  if (!std::getline(in, comm)) return false;
  return true;
}

}  // namespace

ProcessId FindProcessByExecutableIn(const std::string& procRoot, const std::string& path) {
  const std::string wanted = UpperCase(path);
  for (const ProcessId pid : ListProcesses(procRoot)) {
    const std::string dir = procRoot + "/" + std::to_string(pid);
    std::string text;
    if (ReadExe(dir, text) && UpperCase(text) == wanted) return pid;
    if (ReadComm(dir, text) && UpperCase(text) == wanted) return pid;
  }
  return 0;
}

}  // namespace quendra::desktop
