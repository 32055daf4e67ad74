#include "base/row_pipe.h"

#include <algorithm>
#include <cstring>

namespace quendra {

namespace {
constexpr size_t kBandBytes = size_t(128) << 10;  // small enough to stay in the second cache
}

RowPipe::RowPipe(size_t rowBytes, Consume consume)
    : rowBytes_(std::max<size_t>(rowBytes, 1)),
      rowsPerBand_(int(std::max<size_t>(1, kBandBytes / rowBytes_))),
      bandBytes_(rowBytes_ * size_t(rowsPerBand_)),
      consume_(std::move(consume)),
      store_(std::make_unique_for_overwrite<uint8_t[]>(bandBytes_ * kBands)),
      worker_([this] { Run(); }) {}

RowPipe::~RowPipe() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = dropping_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

void RowPipe::Push(const uint8_t* row) {
  if (filling_ == 0) {
    // The band about to be filled may still be the one the consumer has not got to.
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return published_ - consumed_ < kBands; });
  }
  std::memcpy(Band(published_) + size_t(filling_) * rowBytes_, row, rowBytes_);
  if (++filling_ == rowsPerBand_) Publish();
}

void RowPipe::Publish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    rowsIn_[published_ % kBands] = filling_;
    ++published_;
  }
  filling_ = 0;
  changed_.notify_all();
}

void RowPipe::Finish() {
  if (!worker_.joinable()) return;
  if (filling_ > 0) Publish();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
  worker_.join();
  if (failed_) std::rethrow_exception(failed_);
}

void RowPipe::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return published_ > consumed_ || closed_; });
    if (dropping_ || published_ == consumed_) return;
    const int rows = rowsIn_[consumed_ % kBands];
    const uint8_t* band = Band(consumed_);
    lock.unlock();
    if (!failed_) {
      try {
        for (int r = 0; r < rows; ++r) consume_(band + size_t(r) * rowBytes_);
      } catch (...) {
        failed_ = std::current_exception();
      }
    }
    lock.lock();
    ++consumed_;
    changed_.notify_all();
  }
}

}  // namespace quendra
