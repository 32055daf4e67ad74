// Quarter turn of a 6000 x 4000 32-bit bitmap against a plain nested loop and against a straight
// copy of the same bytes (the bound).
#include <benchmark/benchmark.h>

#include <cstring>

#include "imaging/rotate.h"

namespace {

using quendra::Bitmap;
using quendra::PixelFormat;

Bitmap Source() {
  Bitmap b(6000, 4000, PixelFormat::pf32bit);
  for (int y = 0; y < b.Height(); ++y) std::memset(b.Row(y), y & 0xFF, b.Stride());
  return b;
}

void BM_RotateRight(benchmark::State& state) {
  Bitmap b = Source();
  for (auto _ : state) quendra::RotateBitmapRight(b);
}
BENCHMARK(BM_RotateRight)->Unit(benchmark::kMillisecond);

void BM_NestedLoopTurn(benchmark::State& state) {
  Bitmap b = Source();
  for (auto _ : state) {
    Bitmap r(b.Height(), b.Width(), PixelFormat::pf32bit);
    const int W = b.Width(), H = b.Height();
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        reinterpret_cast<uint32_t*>(r.Row(x))[H - 1 - y] =
            reinterpret_cast<const uint32_t*>(b.Row(y))[x];
    b = std::move(r);
  }
}
BENCHMARK(BM_NestedLoopTurn)->Unit(benchmark::kMillisecond);

void BM_CopySameBytes(benchmark::State& state) {
  Bitmap b = Source();
  for (auto _ : state) {
    Bitmap r(b.Height(), b.Width(), PixelFormat::pf32bit);
    std::memcpy(r.Bytes().data(), b.Bytes().data(), b.Bytes().size());
    b = std::move(r);
  }
}
BENCHMARK(BM_CopySameBytes)->Unit(benchmark::kMillisecond);

}  // namespace
