// Stepping through a folder of 24-megapixel JPEGs at a human pace (one DOWN every 0.4 s), the
// viewer's core driven through the test host: the time from the key handler to the new picture
// assigned to the zoomer, with the preloading worker and without it, and the resident memory.
// Counters: median_ms and max_ms of the steps, rss_mb (resident at the end), peak_rss_mb.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "formats/format_table.h"
#include "formats/jpeg_image.h"
#include "support/manual_dispatcher.h"
#include "support/test_host.h"

namespace {

using namespace quendra;
using Clock = std::chrono::steady_clock;

constexpr int kPictures = 8;

// Photo-like pictures, each in its own colours.
std::string MakeFolder() {
  const std::string dir = "/tmp/quendra-step-bench";
  std::filesystem::create_directories(dir);
  for (int i = 0; i < kPictures; ++i) {
    const std::string path = dir + "/p" + std::to_string(i) + ".jpg";
    if (std::filesystem::exists(path)) continue;
    const int w = 6000, h = 4000;
    Bitmap b(w, h, PixelFormat::pf24bit);
    uint32_t seed = 777u + uint32_t(i);
    for (int y = 0; y < h; ++y) {
      uint8_t* p = b.Row(y);
      for (int x = 0; x < w; ++x) {
        seed = seed * 1664525u + 1013904223u;
        int n = int(seed >> 28) - 8;
        p[3 * x] = uint8_t(std::clamp(int(40 * i + 80 * std::sin(x / 300.0) + n), 0, 255));
        p[3 * x + 1] = uint8_t(std::clamp(int(100 + 90 * std::cos(y / 200.0) + n), 0, 255));
        p[3 * x + 2] =
            uint8_t(std::clamp(int(200 - 20 * i + 50 * std::sin((x + y) / 150.0) + n), 0, 255));
      }
    }
    auto bytes = EncodeJpeg(b, 90);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  return dir;
}

double ResidentMb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

// range(0): 1 with preloading; range(1): 1 for a maximised 1920 x 1080 window, 0 for the
// normal 570 x 387 one.
void BM_Step(benchmark::State& state) {
  FileFormats();
  const std::string dir = MakeFolder();
  const bool preload = state.range(0) != 0;
  std::vector<double> ms;
  for (auto _ : state) {
    testing::ManualDispatcher dispatcher;
    testing::Viewer v;
    v.host.maxWidth = 1920;
    v.host.maxHeight = 1080;
    if (preload) v.form.Preload.SetDispatcher(&dispatcher);
    v.form.FormCreate({dir}, "/x/q");
    if (state.range(1)) v.form.SHOWMAX1Click();
    for (int step = 1; step < 2 * kPictures - 1; ++step) {
      std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the user looks
      const bool down = step < kPictures;
      const int want = down ? step : 2 * kPictures - 2 - step;
      const auto start = Clock::now();
      v.form.KeyDown(down ? VK_DOWN : VK_UP, {});
      // A step whose picture was not ready arrives through the dispatcher.
      dispatcher.WaitServing([&] {
        return v.host.status.find("p" + std::to_string(want) + ".jpg") != std::string::npos;
      });
      ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    state.counters["rss_mb"] = ResidentMb();
  }
  std::sort(ms.begin(), ms.end());
  state.counters["median_ms"] = ms[ms.size() / 2];
  state.counters["max_ms"] = ms.back();
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  state.counters["peak_rss_mb"] = double(ru.ru_maxrss) / 1024;
}

BENCHMARK(BM_Step)
    ->ArgNames({"preload", "maximised"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
