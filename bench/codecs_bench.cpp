// Colour reduction for GIF and Targa run-length writing on a 2000 x 1500 photo-like picture.
// QUENDRA_BENCH_PICTURE may name a binary PPM to use instead (codecs_side_by_side.sh passes the
// picture it gives the other tools).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>

#include "base/bitmap.h"
#include "formats/octree_quantizer.h"
#include "formats/targa_graphic.h"

namespace {

using quendra::Bitmap;
using quendra::PixelFormat;

Bitmap FromPpm(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, maxval = 0;
  f >> magic >> w >> h >> maxval;
  f.get();
  Bitmap b(w, h, PixelFormat::pf32bit);
  std::vector<char> row(size_t(w) * 3);
  for (int y = 0; y < h; ++y) {
    f.read(row.data(), std::streamsize(row.size()));
    uint8_t* d = b.Row(y);
    for (int x = 0; x < w; ++x) {
      d[4 * x] = uint8_t(row[3 * x + 2]);
      d[4 * x + 1] = uint8_t(row[3 * x + 1]);
      d[4 * x + 2] = uint8_t(row[3 * x]);
    }
  }
  return b;
}

// Smooth gradients with grain, like a photograph: hundreds of thousands of colours.
Bitmap PhotoLike(int w, int h) {
  Bitmap b(w, h, PixelFormat::pf32bit);
  std::mt19937 rng(1);
  std::uniform_int_distribution<int> noise(-6, 6);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double fx = double(x) / w, fy = double(y) / h;
      uint8_t* p = b.Row(y) + 4 * x;
      p[2] =
          uint8_t(std::clamp(int(128 + 100 * std::sin(6.1 * fx + 2.3 * fy)) + noise(rng), 0, 255));
      p[1] = uint8_t(
          std::clamp(int(128 + 90 * std::cos(4.7 * fy - 1.9 * fx * fy)) + noise(rng), 0, 255));
      p[0] =
          uint8_t(std::clamp(int(110 + 80 * std::sin(3.3 * (fx + fy) + 1.0)) + noise(rng), 0, 255));
    }
  return b;
}

const Bitmap& Picture() {
  static const Bitmap pic = [] {
    const char* path = std::getenv("QUENDRA_BENCH_PICTURE");
    return path && *path ? FromPpm(path) : PhotoLike(2000, 1500);
  }();
  return pic;
}

void BM_GifColourReduction(benchmark::State& state) {
  const Bitmap& pic = Picture();
  for (auto _ : state) {
    Bitmap out = quendra::ReduceColorsForGif(pic);
    benchmark::DoNotOptimize(out.Row(0));
  }
  state.SetItemsProcessed(state.iterations() * int64_t(pic.Width()) * pic.Height());
}
BENCHMARK(BM_GifColourReduction)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TargaRleWrite(benchmark::State& state) {
  const Bitmap& pic = Picture();
  size_t bytes = 0;
  for (auto _ : state) {
    auto out = quendra::EncodeTarga(pic);
    bytes = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["file_MB"] = double(bytes) / 1e6;
  state.SetBytesProcessed(state.iterations() * int64_t(pic.Width()) * pic.Height() * 4);
}
BENCHMARK(BM_TargaRleWrite)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TargaRead(benchmark::State& state) {
  const auto file = quendra::EncodeTarga(Picture());
  for (auto _ : state) {
    quendra::TTargaGraphic g;
    g.LoadFromMemory(file);
    benchmark::DoNotOptimize(g.Image().Row(0));
  }
}
BENCHMARK(BM_TargaRead)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
