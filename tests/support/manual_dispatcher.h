#pragma once
// Deterministic stand-ins for the timer's surroundings: a dispatcher whose requests the test
// runs by hand, and a wake event that waits on a virtual clock the test advances.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "base/dispatcher.h"
#include "controls/threaded_timer.h"

namespace quendra::testing {

// Requests wait in the queue until the test calls RunPending() (or WaitServing runs them).
// `onRequest` runs on the requesting thread each time a request was queued.
class ManualDispatcher : public QueuedDispatcher {
 public:
  std::function<void()> onRequest;

 protected:
  void Wakeup() override {
    if (onRequest) onRequest();
  }
};

// Time stands still until Advance(). Every bounded wait below only guards against a hang of the
// code under test; none of them measures anything.
class ManualWakeEvent : public WakeEvent {
 public:
  static constexpr std::chrono::seconds kGuard{10};

  void Signal() override {
    std::lock_guard lock(mutex_);
    signalled_ = true;
    ++generation_;
    cv_.notify_all();
  }

  bool Wait(uint32_t ms) override {
    std::unique_lock lock(mutex_);
    const uint64_t deadline = now_ + ms;
    ++waits_;
    for (;;) {
      if (signalled_ || now_ >= deadline) {
        const bool signalled = signalled_;
        signalled_ = waiting_ = false;
        cv_.notify_all();
        return signalled;
      }
      waiting_ = true;
      seen_ = generation_;
      deadline_ = deadline;
      cv_.notify_all();
      cv_.wait(lock);
    }
  }

  void Advance(uint64_t ms) {
    std::lock_guard lock(mutex_);
    now_ += ms;
    ++generation_;
    cv_.notify_all();
  }

  // Blocks until the worker sits in a wait that has taken in every Advance and Signal so far.
  bool AwaitWaiting() {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, kGuard, [&] { return waiting_ && seen_ == generation_; });
  }
  // Like AwaitWaiting, or until `other()` holds; wake the waiter with Poke() when it may.
  bool AwaitWaitingOr(const std::function<bool()>& other) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, kGuard,
                        [&] { return (waiting_ && seen_ == generation_) || other(); });
  }
  void Poke() {
    std::lock_guard lock(mutex_);
    cv_.notify_all();
  }
  // Virtual milliseconds left in the wait the worker sits in.
  uint64_t Remaining() const {
    std::lock_guard lock(mutex_);
    return deadline_ - now_;
  }
  int Waits() const {
    std::lock_guard lock(mutex_);
    return waits_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  uint64_t now_ = 0, deadline_ = 0, generation_ = 0, seen_ = ~uint64_t{0};
  bool signalled_ = false, waiting_ = false;
  int waits_ = 0;
};

}  // namespace quendra::testing
