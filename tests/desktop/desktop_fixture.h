#pragma once
// Helpers of the desktop tests: child processes, the fake application's report channel and a
// private X server. Every wait is bounded by kGuard and ends as soon as the awaited thing
// happens; none measures time.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace quendra::testing {

inline constexpr std::chrono::milliseconds kGuard{10000};

// A child started from an argument vector; terminated and reaped when the object goes.
class ChildProcess {
 public:
  ChildProcess() = default;
  explicit ChildProcess(const std::vector<std::string>& argv, int fdForChild3 = -1) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (fdForChild3 >= 0) posix_spawn_file_actions_adddup2(&actions, fdForChild3, 3);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ChildProcess() { Stop(); }
  ChildProcess(ChildProcess&& o) noexcept : pid_(o.pid_) { o.pid_ = 0; }
  ChildProcess& operator=(ChildProcess&& o) noexcept {
    Stop();
    pid_ = o.pid_;
    o.pid_ = 0;
    return *this;
  }
  pid_t Pid() const { return pid_; }
  // Waits for the child to end by itself, at most `guard`; true when it did (it is reaped).
  bool AwaitExit(std::chrono::milliseconds guard = kGuard, int* status = nullptr) {
    const auto deadline = std::chrono::steady_clock::now() + guard;
    while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
      if (waitpid(pid_, status, WNOHANG) == pid_) {
        pid_ = 0;
        return true;
      }
      usleep(10000);
    }
    return pid_ <= 0;
  }
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }

 private:
  pid_t pid_ = 0;
};

// Waits until `fd` is readable, at most what is left of `deadline`.
inline bool AwaitReadable(int fd, std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return false;
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, static_cast<int>(left.count())) > 0;
}

// The FIFO that fake applications report to. Held open for reading and writing, so that
// writers never block on opening it and reads never see an end.
class ReportChannel {
 public:
  explicit ReportChannel(std::string path) : path_(std::move(path)) {
    mkfifo(path_.c_str(), 0600);
    fd_ = open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  }
  ~ReportChannel() {
    if (fd_ >= 0) close(fd_);
  }
  const std::string& Path() const { return path_; }

  // Reads report lines until `done(lines)` holds; false when the guard ran out first.
  bool WaitFor(const std::function<bool(const std::vector<std::string>&)>& done) {
    const auto deadline = std::chrono::steady_clock::now() + kGuard;
    for (;;) {
      Drain();
      if (done(lines_)) return true;
      if (!AwaitReadable(fd_, deadline)) return false;
    }
  }
  // Lines reported so far by process `pid`, without the prefix.
  std::vector<std::string> From(pid_t pid) {
    Drain();
    std::vector<std::string> out;
    const std::string prefix = std::to_string(pid) + " ";
    for (const auto& l : lines_)
      if (l.rfind(prefix, 0) == 0) out.push_back(l.substr(prefix.size()));
    return out;
  }
  const std::vector<std::string>& Lines() {
    Drain();
    return lines_;
  }

 private:
  void Drain() {
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd_, buffer, sizeof buffer)) > 0)
      partial_.append(buffer, static_cast<size_t>(n));
    size_t eol;
    while ((eol = partial_.find('\n')) != std::string::npos) {
      lines_.push_back(partial_.substr(0, eol));
      partial_.erase(0, eol + 1);
    }
  }
  std::string path_, partial_;
  int fd_ = -1;
  std::vector<std::string> lines_;
};

// A private X server on a display number it picks itself; it reports the number once it
// accepts connections.
class XvfbServer {
 public:
  static constexpr const char* kBinary = "/usr/bin/Xvfb";
  static bool Installed() { return access(kBinary, X_OK) == 0; }

  bool Start() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    server_ = ChildProcess(
        {kBinary, "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "640x480x24"}, fds[1]);
    close(fds[1]);
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + kGuard;
    char c;
    while (AwaitReadable(fds[0], deadline) && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) return false;
    name_ = ":" + number;
    return true;
  }
  const std::string& Name() const { return name_; }

 private:
  ChildProcess server_;
  std::string name_;
};

}  // namespace quendra::testing
