// The viewer's load-and-fit pipeline on JPEG photos: fitted into a 1600 x 900 zoomer and
// unfitted at full size.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <string>

#include "app/loader.h"
#include "formats/format_table.h"
#include "formats/jpeg_image.h"

namespace {

using namespace quendra;

// Smooth shading with fine texture, so the JPEG has photo-like entropy.
std::string MakePhoto(int w, int h) {
  std::string path = "/tmp/quendra-bench-" + std::to_string(w) + "x" + std::to_string(h) + ".jpg";
  if (std::ifstream(path).good()) return path;
  Bitmap b(w, h, PixelFormat::pf24bit);
  uint32_t seed = 12345;
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b.Row(y);
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      int n = int(seed >> 28) - 8;
      p[3 * x] = uint8_t(std::clamp(int(120 + 80 * std::sin(x / 300.0) + n), 0, 255));
      p[3 * x + 1] = uint8_t(std::clamp(int(100 + 90 * std::cos(y / 200.0) + n), 0, 255));
      p[3 * x + 2] = uint8_t(std::clamp(int(128 + 60 * std::sin((x + y) / 150.0) + n), 0, 255));
    }
  }
  auto bytes = EncodeJpeg(b, 90);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return path;
}

void Load(benchmark::State& state, bool fit) {
  FileFormats();
  std::string path = MakePhoto(int(state.range(0)), int(state.range(1)));
  for (auto _ : state) {
    TZoomer img;
    img.SetCenter(true);
    img.SetStretch(fit);
    img.SetProportional(fit);
    img.SetClientSize(1600, 900);
    LoadIntoZoomer(img, path);
    benchmark::DoNotOptimize(img.Picture().Graphic());
  }
}

void BM_LoadFitted(benchmark::State& state) {
  Load(state, true);
}
void BM_LoadFullSize(benchmark::State& state) {
  Load(state, false);
}
BENCHMARK(BM_LoadFitted)
    ->Args({6000, 4000})
    ->Args({4000, 3000})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFullSize)->Args({6000, 4000})->Unit(benchmark::kMillisecond);

}  // namespace
