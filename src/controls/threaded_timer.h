#pragma once
// TThreadedTimer: a timer whose waiting is done by a worker thread of its own (TTimerThread);
// each tick is handed to the main thread synchronously through a MainThreadDispatcher, so
// OnTimer never overlaps another handler. All members are for the main thread only.
#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "base/dispatcher.h"

namespace quendra {

// Auto-reset event, initially not signalled: a signal ends one wait (the current or the next)
// and resets itself.
class WakeEvent {
 public:
  virtual ~WakeEvent() = default;
  virtual void Signal() = 0;
  // Waits at most `ms` milliseconds; true when ended by a signal, false on time-out.
  virtual bool Wait(uint32_t ms) = 0;
};

// The real one, timed by the steady clock.
class SteadyWakeEvent final : public WakeEvent {
 public:
  void Signal() override;
  bool Wait(uint32_t ms) override;

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_ = false;
};

// Seven levels in rising order. On Linux: tpIdle runs the worker under SCHED_IDLE; the others
// set its nice value 10, 5, 0, -5, -10, -20. Raising it above normal needs CAP_SYS_NICE (or a
// matching RLIMIT_NICE); without it the request fails silently and the worker stays as it was.
enum class TThreadPriority {
  tpIdle,
  tpLowest,
  tpLower,
  tpNormal,
  tpHigher,
  tpHighest,
  tpTimeCritical
};

class TThreadedTimer;

// The worker: waits `interval` ms on the wake event; a time-out asks the main thread to run the
// owner's DispatchTick and blocks until it has. Parked until first let run; the thread itself
// is created then, so a timer that never runs costs no thread.
class TTimerThread {
 public:
  TTimerThread(TThreadedTimer& owner, WakeEvent& wake);
  ~TTimerThread();  // joins; the owner has asked it to stop and served it before
  TTimerThread(const TTimerThread&) = delete;
  TTimerThread& operator=(const TTimerThread&) = delete;

  void Resume();     // let it run (starts the thread the first time)
  void Suspend();    // park it after its current wait or tick request
  void Terminate();  // ask it to stop after the current pass
  bool Started() const { return thread_.joinable(); }
  bool Finished() const;
  void Join();

  uint32_t interval() const { return interval_.load(); }
  void set_interval(uint32_t ms) { interval_.store(ms); }
  TThreadPriority Priority() const;
  void SetPriority(TThreadPriority p);

 private:
  void Execute();
  void ApplyPriority();  // mutex_ held

  TThreadedTimer& owner_;
  WakeEvent& wake_;
  std::atomic<uint32_t> interval_{1000};
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool running_ = false, terminated_ = false, finished_ = false;
  TThreadPriority priority_ = TThreadPriority::tpNormal;
  pid_t tid_ = 0;
  std::thread thread_;
};

class TThreadedTimer {
 public:
  TThreadedTimer();
  // For tests: a wake event whose time they control.
  explicit TThreadedTimer(std::unique_ptr<WakeEvent> wake);
  // Returns promptly even while the worker waits for a tick to be run: it serves the
  // dispatcher's requests until the worker has ended. OnTimer is not called any more.
  ~TThreadedTimer();
  TThreadedTimer(const TThreadedTimer&) = delete;
  TThreadedTimer& operator=(const TThreadedTimer&) = delete;

  // The dispatcher that runs ticks on the main thread; it must outlive the timer. Without one
  // the worker never runs (Enabled still reads back what was written). Set it before the
  // worker first runs; replacing it afterwards throws std::logic_error.
  void SetDispatcher(MainThreadDispatcher* dispatcher);
  MainThreadDispatcher* Dispatcher() const { return dispatcher_; }

  // Enabling starts a fresh countdown: the first tick comes one full Interval later.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  // Milliseconds, default 1000. A changed value restarts a running countdown.
  uint32_t Interval() const { return worker_->interval(); }
  void SetInterval(uint32_t ms);
  // Whether an Interval of 0 may run (ticks then follow as fast as the main thread takes them).
  bool AllowZero() const { return allow_zero_; }
  void SetAllowZero(bool v) { allow_zero_ = v; }
  TThreadPriority ThreadPriority() const { return worker_->Priority(); }
  void SetThreadPriority(TThreadPriority p) { worker_->SetPriority(p); }

  // Called on the main thread for each tick while enabled; may be empty.
  std::function<void()> OnTimer;

  // Main thread, requested by the worker. Errors of OnTimer are dropped: the timer runs on.
  void DispatchTick();

 private:
  friend class TTimerThread;
  bool Runnable() const;
  void RequestTick();  // worker thread

  std::unique_ptr<WakeEvent> wake_;
  std::unique_ptr<TTimerThread> worker_;
  MainThreadDispatcher* dispatcher_ = nullptr;
  bool enabled_ = false;
  bool allow_zero_ = false;
  bool destroying_ = false;
};

}  // namespace quendra
