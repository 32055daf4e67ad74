#pragma once
// Handing calls from worker threads to the main thread. The core declares it; the Qt front end
// drains requests from its event loop, tests drain them by hand.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>

namespace quendra {

class MainThreadDispatcher {
 public:
  virtual ~MainThreadDispatcher() = default;

  // Worker threads: runs `call` on the main thread and returns once it has run. An exception
  // leaving `call` is carried back and rethrown here, on the requesting thread.
  virtual void Synchronize(std::function<void()> call) = 0;

  // Any thread: queues `call` to run on the main thread later and returns at once, so a worker
  // never waits for the main thread. Calls still queued when the dispatcher goes never run; an
  // exception leaving one is dropped.
  virtual void Post(std::function<void()> call) = 0;

  // Main thread: serves pending requests until `done()` holds. `done` is checked before
  // blocking and again after every served request and every Notify().
  virtual void WaitServing(const std::function<bool()>& done) = 0;

  // Any thread: something that a WaitServing predicate reads has changed.
  virtual void Notify() = 0;
};

// The mechanics shared by every dispatcher: a queue of requests that the main thread runs.
// Subclasses only decide how the main thread learns that a request is waiting (Wakeup).
class QueuedDispatcher : public MainThreadDispatcher {
 public:
  ~QueuedDispatcher() override;
  void Synchronize(std::function<void()> call) override;
  void Post(std::function<void()> call) override;
  void WaitServing(const std::function<bool()>& done) override;
  void Notify() override;

  // Main thread: runs every request queued so far; returns how many ran.
  std::size_t RunPending();
  std::size_t PendingCount() const;
  // Blocks until at least one request is queued or `timeout` has passed; true when queued.
  bool WaitForRequest(std::chrono::milliseconds timeout);

 protected:
  // Called on the requesting thread after a request was queued; must not block on the main
  // thread. The default does nothing (whoever owns the dispatcher calls RunPending).
  virtual void Wakeup() {}

 private:
  struct Request {
    std::function<void()> call;
    std::exception_ptr error;
    bool done = false;
    bool posted = false;  // owned by the queue; nobody waits for it
  };
  bool RunOne(std::unique_lock<std::mutex>& lock);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Request*> queue_;
  unsigned long notifications_ = 0;
};

}  // namespace quendra
