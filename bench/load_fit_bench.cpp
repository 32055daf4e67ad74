// The viewer's load-and-fit pipeline on JPEG photos: fitted into a 1600 x 900 zoomer and
// unfitted at full size, and fitted with an Adobe RGB (1998) profile embedded (colord-data's),
// whose conversion runs on the fitted picture.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/loader.h"
#include "formats/format_table.h"
#include "formats/jpeg_image.h"

namespace {

using namespace quendra;

// Smooth shading with fine texture, so the JPEG has photo-like entropy.
std::string MakePhoto(int w, int h, const std::string& icc = "") {
  std::string path = "/tmp/quendra-bench-" + std::to_string(w) + "x" + std::to_string(h) +
                     (icc.empty() ? "" : "-" + icc) + ".jpg";
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
  if (!icc.empty()) {
    // One APP2 ICC_PROFILE marker, chunk 1 of 1, right after SOI.
    std::ifstream in("/usr/share/color/icc/colord/" + icc + ".icc", std::ios::binary);
    const std::vector<char> profile((std::istreambuf_iterator<char>(in)), {});
    const size_t length = 2 + 14 + profile.size();
    std::vector<uint8_t> app2 = {0xFF, 0xE2, uint8_t(length >> 8), uint8_t(length)};
    for (char c : std::string("ICC_PROFILE", 12)) app2.push_back(uint8_t(c));
    app2.push_back(1), app2.push_back(1);
    app2.insert(app2.end(), profile.begin(), profile.end());
    bytes.insert(bytes.begin() + 2, app2.begin(), app2.end());
  }
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return path;
}

void Load(benchmark::State& state, bool fit, const std::string& icc = "") {
  FileFormats();
  std::string path = MakePhoto(int(state.range(0)), int(state.range(1)), icc);
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
void BM_LoadFittedAdobeRgb(benchmark::State& state) {
  Load(state, true, "AdobeRGB1998");
}
BENCHMARK(BM_LoadFitted)
    ->Args({6000, 4000})
    ->Args({4000, 3000})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFullSize)->Args({6000, 4000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFittedAdobeRgb)->Args({6000, 4000})->Unit(benchmark::kMillisecond);

}  // namespace
