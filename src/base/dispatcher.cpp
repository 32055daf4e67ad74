#include "base/dispatcher.h"

#include <utility>

namespace quendra {

void QueuedDispatcher::Synchronize(std::function<void()> call) {
  Request request{std::move(call), nullptr, false};
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(&request);
  }
  changed_.notify_all();
  Wakeup();
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return request.done; });
  if (request.error) std::rethrow_exception(request.error);
}

QueuedDispatcher::~QueuedDispatcher() {
  for (Request* r : queue_)
    if (r->posted) delete r;
}

void QueuedDispatcher::Post(std::function<void()> call) {
  auto* request = new Request{std::move(call), nullptr, false, true};
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(request);
  }
  changed_.notify_all();
  Wakeup();
}

// Runs the oldest request with the mutex released, so that the call may itself use the
// dispatcher or take other locks.
bool QueuedDispatcher::RunOne(std::unique_lock<std::mutex>& lock) {
  if (queue_.empty()) return false;
  Request* request = queue_.front();
  queue_.pop_front();
  lock.unlock();
  std::exception_ptr error;
  try {
    request->call();
  } catch (...) {
    error = std::current_exception();
  }
  lock.lock();
  if (request->posted) {
    delete request;
    return true;
  }
  request->error = error;
  request->done = true;
  changed_.notify_all();
  return true;
}

std::size_t QueuedDispatcher::RunPending() {
  std::unique_lock lock(mutex_);
  std::size_t ran = 0;
  // Only what was queued on entry: a worker that requests again at once must not keep the
  // main thread here for ever.
  for (std::size_t n = queue_.size(); n > 0 && RunOne(lock); --n) ++ran;
  return ran;
}

std::size_t QueuedDispatcher::PendingCount() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

bool QueuedDispatcher::WaitForRequest(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return !queue_.empty(); });
}

void QueuedDispatcher::WaitServing(const std::function<bool()>& done) {
  std::unique_lock lock(mutex_);
  for (;;) {
    while (RunOne(lock)) {
    }
    // Taken before the predicate runs, so a Notify() that races with it is not lost.
    const unsigned long seen = notifications_;
    lock.unlock();
    const bool finished = done();
    lock.lock();
    if (finished) return;
    changed_.wait(lock, [&] { return !queue_.empty() || notifications_ != seen; });
  }
}

void QueuedDispatcher::Notify() {
  {
    std::lock_guard lock(mutex_);
    ++notifications_;
  }
  changed_.notify_all();
}

}  // namespace quendra
