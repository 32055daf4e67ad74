// Folder scan of 20,000 picture files (plus other files), the size at which a quadratic
// insertion would show.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/file_list.h"

namespace {

struct Folder {
  std::string path;
  explicit Folder(int pictures) {
    char tmpl[] = "/tmp/quendra-bench-XXXXXX";
    path = ::mkdtemp(tmpl);
    const char* exts[] = {".jpg", ".PNG", ".bmp", ".tif", ".gif", ".txt"};
    for (int i = 0; i < pictures + pictures / 5; ++i) {
      // Mixed case and a scrambled order, as camera folders and downloads have.
      std::string name =
          (i % 3 ? "IMG_" : "photo ") + std::to_string((i * 7919) % 100000) + exts[i % 6];
      ::close(::open((path + "/" + name).c_str(), O_CREAT | O_WRONLY, 0644));
    }
  }
  ~Folder() { std::filesystem::remove_all(path); }
};

void BM_ScanFolder(benchmark::State& state) {
  std::setlocale(LC_ALL, "C.UTF-8");
  Folder folder(int(state.range(0)));
  quendra::TListBox list;
  std::string current;
  for (auto _ : state) benchmark::DoNotOptimize(quendra::ScanFolder(folder.path, list, current));
  state.counters["listed"] = list.Count();
}
BENCHMARK(BM_ScanFolder)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace
