// The save thread's writers, in memory, on a 24-bit photo-like picture: PNG (Sub/Up rows,
// libdeflate level 8), JPEG (quality 90), GIF (octree palette, nearest mapping, giflib) and
// JPEG 2000 (quality 97). QUENDRA_BENCH_PICTURE names the binary PPM to use (save_side_by_side.sh
// passes the picture it gives the other tools); without it a 2000 x 1500 picture is made here.
// The "bytes" counter is the size of the file written.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "saving/save_by_extension.h"

namespace {

using quendra::Bitmap;
using quendra::PixelFormat;
using quendra::SaveFormat;

Bitmap Picture() {
  const char* path = std::getenv("QUENDRA_BENCH_PICTURE");
  if (path) {
    std::ifstream f(path, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    f >> magic >> w >> h >> maxval;
    f.get();
    Bitmap b(w, h, PixelFormat::pf24bit);
    std::vector<char> row(size_t(w) * 3);
    for (int y = 0; y < h; ++y) {
      f.read(row.data(), std::streamsize(row.size()));
      uint8_t* d = b.Row(y);
      for (int x = 0; x < w; ++x) {
        d[3 * x] = uint8_t(row[3 * x + 2]);
        d[3 * x + 1] = uint8_t(row[3 * x + 1]);
        d[3 * x + 2] = uint8_t(row[3 * x]);
      }
    }
    return b;
  }
  Bitmap b(2000, 1500, PixelFormat::pf24bit);
  std::mt19937 rng(1);
  std::uniform_int_distribution<int> noise(-6, 6);
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const double fx = x / 2000.0, fy = y / 1500.0;
      uint8_t* p = b.Row(y) + 3 * x;
      p[2] =
          uint8_t(std::clamp(int(128 + 100 * std::sin(6.1 * fx + 2.3 * fy)) + noise(rng), 0, 255));
      p[1] = uint8_t(
          std::clamp(int(128 + 90 * std::cos(4.7 * fy - 1.9 * fx * fy)) + noise(rng), 0, 255));
      p[0] =
          uint8_t(std::clamp(int(110 + 80 * std::sin(3.3 * (fx + fy) + 1.0)) + noise(rng), 0, 255));
    }
  return b;
}

const Bitmap& Shared() {
  static const Bitmap b = Picture();
  return b;
}

void Save(benchmark::State& state, SaveFormat format) {
  const Bitmap& b = Shared();
  size_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    quendra::EncodeForSave(b, format, [&](const uint8_t*, size_t n) { bytes += n; });
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["bytes"] = double(bytes);
}

void BM_SavePng(benchmark::State& s) {
  Save(s, SaveFormat::Png);
}
void BM_SaveJpeg(benchmark::State& s) {
  Save(s, SaveFormat::Jpeg);
}
void BM_SaveGif(benchmark::State& s) {
  Save(s, SaveFormat::Gif);
}
void BM_SaveJpeg2000(benchmark::State& s) {
  Save(s, SaveFormat::Jpeg2000);
}

BENCHMARK(BM_SavePng)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveJpeg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveGif)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveJpeg2000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
