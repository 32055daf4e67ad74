#pragma once
// Row work split in two halves that run at once: the first on the calling thread, which keeps
// its thread-local state (a load's cancel scope among it), the second on a thread of its own.
// Fitted pictures are converted after decoders that used both cores; alone they would run on one.
#include <atomic>
#include <exception>
#include <thread>

namespace quendra {

// Calls work(from, to, stop) for [0, count/2) here and [count/2, count) on a second thread, or
// once for all of [0, count) when count is below `minimum`. If the first half throws, `stop`
// turns true, the second half (which should look at it between rows) is joined, and the
// exception goes on; the second half's own exception is rethrown once both have ended.
template <class Work>
void InTwoHalves(int count, int minimum, const Work& work) {
  std::atomic<bool> stop{false};
  if (count < minimum) return work(0, count, stop);
  const int half = count / 2;
  std::exception_ptr failed;
  std::thread second([&] {
    try {
      work(half, count, stop);
    } catch (...) {
      failed = std::current_exception();
    }
  });
  try {
    work(0, half, stop);
  } catch (...) {
    stop = true;
    second.join();
    throw;
  }
  second.join();
  if (failed) std::rethrow_exception(failed);
}

}  // namespace quendra
