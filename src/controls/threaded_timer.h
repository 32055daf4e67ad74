#pragma once
// TThreadedTimer: a timer whose waiting is done by a worker thread of its own; each tick is
// handed to the main thread synchronously through a dispatcher.
#include <cstdint>
#include <functional>

namespace quendra {

class TThreadedTimer {
 public:
  TThreadedTimer() = default;
  ~TThreadedTimer();
  TThreadedTimer(const TThreadedTimer&) = delete;
  TThreadedTimer& operator=(const TThreadedTimer&) = delete;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  uint32_t Interval() const { return interval_; }
  void SetInterval(uint32_t ms);

  std::function<void()> OnTimer;

 private:
  bool enabled_ = false;
  uint32_t interval_ = 1000;
};

}  // namespace quendra
