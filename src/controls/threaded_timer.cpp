#include "controls/threaded_timer.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace quendra {

void SteadyWakeEvent::Signal() {
  {
    std::lock_guard lock(mutex_);
    signalled_ = true;
  }
  cv_.notify_one();
}

bool SteadyWakeEvent::Wait(uint32_t ms) {
  std::unique_lock lock(mutex_);
  const bool signalled =
      cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return signalled_; });
  signalled_ = false;
  return signalled;
}

// ---- TTimerThread ----

TTimerThread::TTimerThread(TThreadedTimer& owner, WakeEvent& wake) : owner_(owner), wake_(wake) {}

TTimerThread::~TTimerThread() {
  Terminate();
  Join();
}

void TTimerThread::Resume() {
  std::lock_guard lock(mutex_);
  running_ = true;
  if (!thread_.joinable()) thread_ = std::thread([this] { Execute(); });
  cv_.notify_all();
}

void TTimerThread::Suspend() {
  std::lock_guard lock(mutex_);
  running_ = false;
}

void TTimerThread::Terminate() {
  std::lock_guard lock(mutex_);
  terminated_ = true;
  cv_.notify_all();
}

bool TTimerThread::Finished() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

void TTimerThread::Join() {
  if (thread_.joinable()) thread_.join();
}

TThreadPriority TTimerThread::Priority() const {
  std::lock_guard lock(mutex_);
  return priority_;
}

void TTimerThread::SetPriority(TThreadPriority p) {
  std::lock_guard lock(mutex_);
  priority_ = p;
  ApplyPriority();
}

// Linux keeps a scheduling policy and a nice value per thread; both are addressed by the
// thread's id. Failures (no privilege to raise it) leave the thread as it was.
void TTimerThread::ApplyPriority() {
  if (tid_ == 0) return;  // applied by the worker itself when it starts
  static constexpr int kNice[] = {0, 10, 5, 0, -5, -10, -20};
  sched_param param{};
  const bool idle = priority_ == TThreadPriority::tpIdle;
  if (sched_setscheduler(tid_, idle ? SCHED_IDLE : SCHED_OTHER, &param) != 0) return;
  if (!idle)
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid_), kNice[static_cast<int>(priority_)]);
}

void TTimerThread::Execute() {
  {
    std::lock_guard lock(mutex_);
    tid_ = gettid();
    if (priority_ != TThreadPriority::tpNormal) ApplyPriority();
  }
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      cv_.wait(lock, [&] { return running_ || terminated_; });
      if (terminated_) break;
    }
    const bool woken = wake_.Wait(interval_.load());
    bool tick;
    {
      std::lock_guard lock(mutex_);
      if (terminated_) break;
      // Parked during the wait: the tick would find the timer disabled anyway.
      tick = !woken && running_;
    }
    if (tick) owner_.RequestTick();
  }
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  // The owner may be serving requests while it waits for this thread to end.
  if (MainThreadDispatcher* d = owner_.dispatcher_) d->Notify();
}

// ---- TThreadedTimer ----

TThreadedTimer::TThreadedTimer() : TThreadedTimer(std::make_unique<SteadyWakeEvent>()) {}

TThreadedTimer::TThreadedTimer(std::unique_ptr<WakeEvent> wake)
    : wake_(std::move(wake)), worker_(std::make_unique<TTimerThread>(*this, *wake_)) {}

TThreadedTimer::~TThreadedTimer() {
  destroying_ = true;
  enabled_ = false;
  worker_->Terminate();
  wake_->Signal();
  if (worker_->Started() && dispatcher_ != nullptr) {
    // A worker blocked in a tick request needs the main thread to run it (it does nothing
    // now) before it can see the stop request.
    TTimerThread& worker = *worker_;
    dispatcher_->WaitServing([&worker] { return worker.Finished(); });
  }
  worker_.reset();  // joins
}

void TThreadedTimer::SetDispatcher(MainThreadDispatcher* dispatcher) {
  if (dispatcher == dispatcher_) return;
  if (worker_->Started())
    throw std::logic_error("The timer's dispatcher cannot change once it ran");
  dispatcher_ = dispatcher;
  if (enabled_ && Runnable()) {
    wake_->Signal();
    worker_->Resume();
  }
}

bool TThreadedTimer::Runnable() const {
  return dispatcher_ != nullptr && (worker_->interval() > 0 || allow_zero_);
}

void TThreadedTimer::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  if (v) {
    if (Runnable()) {
      // Cuts the current (or first) wait short without a tick: a full interval follows.
      wake_->Signal();
      worker_->Resume();
    }
  } else {
    worker_->Suspend();
  }
}

void TThreadedTimer::SetInterval(uint32_t ms) {
  if (ms == worker_->interval()) return;
  const bool was = enabled_;
  SetEnabled(false);
  worker_->set_interval(ms);
  SetEnabled(was);
}

void TThreadedTimer::RequestTick() {
  try {
    dispatcher_->Synchronize([this] { DispatchTick(); });
  } catch (...) {
    // DispatchTick lets nothing out; a failing dispatcher only costs this tick.
  }
}

void TThreadedTimer::DispatchTick() {
  if (!enabled_ || !OnTimer || destroying_) return;
  try {
    OnTimer();
  } catch (...) {
    // A failing tick is dropped silently; the slideshow goes on.
  }
}

}  // namespace quendra
