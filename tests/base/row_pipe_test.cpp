// Rows handed to a second thread: all of them, in order, once; a failure comes back to the
// producer; a producer that gives up is never kept waiting.
#include "base/row_pipe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <thread>
#include <vector>

namespace quendra {
namespace {

std::vector<uint8_t> RowOf(size_t bytes, int y) {
  std::vector<uint8_t> row(bytes);
  for (size_t i = 0; i < bytes; ++i) row[i] = uint8_t(y * 7 + i);
  return row;
}

// Rows of one byte and of a whole band's size, counts that end mid-band, and a consumer slow
// enough that the producer waits for free bands.
TEST(RowPipe, EveryRowArrivesOnceInOrder) {
  for (size_t bytes : {size_t(1), size_t(3000), size_t(128) << 10, (size_t(128) << 10) + 1})
    for (int count : {0, 1, 45, bytes > 4096 ? 9 : 1001}) {
      std::vector<std::vector<uint8_t>> got;
      RowPipe pipe(bytes, [&](const uint8_t* row) {
        got.emplace_back(row, row + bytes);
        if (got.size() % 97 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      });
      for (int y = 0; y < count; ++y) pipe.Push(RowOf(bytes, y).data());
      pipe.Finish();
      ASSERT_EQ(got.size(), size_t(count)) << bytes;
      for (int y = 0; y < count; ++y)
        ASSERT_EQ(got[size_t(y)], RowOf(bytes, y)) << bytes << " " << y;
    }
}

TEST(RowPipe, AFailureReachesTheProducerAndAnAbandonedPipeEnds) {
  int seen = 0;
  {
    RowPipe pipe(16, [&](const uint8_t*) {
      if (++seen == 10) throw std::runtime_error("row 10");
    });
    for (int y = 0; y < 50000; ++y) pipe.Push(RowOf(16, y).data());  // never blocks for good
    EXPECT_THROW(pipe.Finish(), std::runtime_error);
    EXPECT_EQ(seen, 10);  // the rows after the failure are dropped
  }
  // Destroyed without Finish while the consumer is busy: the rows still waiting are dropped.
  int consumed = 0;
  {
    const size_t band = size_t(128) << 10;  // a row a band: four rows fill them all
    RowPipe pipe(band, [&](const uint8_t*) {
      ++consumed;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    });
    const std::vector<uint8_t> row(band);
    for (int y = 0; y < 4; ++y) pipe.Push(row.data());
  }
  EXPECT_LT(consumed, 4);
}

}  // namespace
}  // namespace quendra
