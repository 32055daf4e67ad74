#pragma once
// Rows handed from a producer (a decoder) to work done on each of them on a second thread, in
// bands: resampling the rows a decoder has made overlaps with decoding the next ones, so a
// fitted load takes about as long as its decode alone.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace quendra {

class RowPipe {
 public:
  using Consume = std::function<void(const uint8_t* row)>;
  // `consume` runs on the pipe's own thread, once per row, in the order the rows were pushed.
  RowPipe(size_t rowBytes, Consume consume);
  // Without Finish (the producer failed), rows not yet consumed are dropped.
  ~RowPipe();
  RowPipe(const RowPipe&) = delete;
  RowPipe& operator=(const RowPipe&) = delete;

  // Copies the row; waits only while every band is full.
  void Push(const uint8_t* row);
  // Returns once every pushed row has been consumed; rethrows what `consume` threw, after
  // which the remaining rows were dropped.
  void Finish();

 private:
  static constexpr int kBands = 4;
  void Publish();
  void Run();
  uint8_t* Band(int64_t n) { return store_.get() + size_t(n % kBands) * bandBytes_; }

  const size_t rowBytes_;
  const int rowsPerBand_;
  const size_t bandBytes_;
  Consume consume_;
  std::unique_ptr<uint8_t[]> store_;  // not cleared: every row is written before it is read
  int rowsIn_[kBands] = {};
  int filling_ = 0;  // rows in the band being filled, which is band number `published_`
  std::mutex mutex_;
  std::condition_variable changed_;
  int64_t published_ = 0, consumed_ = 0;  // bands
  bool closed_ = false, dropping_ = false;
  std::exception_ptr failed_;
  std::thread worker_;
};

}  // namespace quendra
