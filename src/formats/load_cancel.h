#pragma once
// Stopping a load that is no longer wanted. A thread runs its loads under at most one
// CancelScope; long decoders ask LoadCancelled() between row bands and give up with
// ELoadCancelled. Without a scope nothing is ever cancelled. A work budget can hang on the same
// check: it is the one place a decoder looks while it works.
#include <atomic>
#include <stdexcept>

namespace quendra {

class CancelToken {
 public:
  // Any thread. Wakes whoever waits in WaitCancelled.
  void Cancel() {
    flag_.store(true, std::memory_order_relaxed);
    flag_.notify_all();
  }
  bool Cancelled() const { return flag_.load(std::memory_order_relaxed); }
  void WaitCancelled() const { flag_.wait(false); }

 private:
  std::atomic<bool> flag_{false};
};

struct ELoadCancelled : std::runtime_error {
  ELoadCancelled() : std::runtime_error("Loading was cancelled") {}
};

// Makes the token the calling thread's cancel check for the scope's lifetime.
class CancelScope {
 public:
  explicit CancelScope(const CancelToken& token);
  ~CancelScope();
  CancelScope(const CancelScope&) = delete;
  CancelScope& operator=(const CancelScope&) = delete;

 private:
  const CancelToken* previous_;
};

bool LoadCancelled();
inline void ThrowIfCancelled() {
  if (LoadCancelled()) throw ELoadCancelled();
}

}  // namespace quendra
