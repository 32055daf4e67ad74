// The viewer's real load path on arbitrary bytes: the first byte picks the file's extension (so
// the format table picks the reader), the next four the zoomer's client size; the rest is the
// file. It is written to a file and loaded by LoadIntoZoomer in the fitted mode, the way
// LoadPicture does, JPEG's streamed fitted decode at 1/2, 1/4 and 1/8 included.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <iterator>
#include <string>

#include "app/loader.h"
#include "controls/zoomer.h"
#include "formats/tbitmap.h"
#include "fuzz_graphic.h"

namespace {

const char* const kExtensions[] = {"bmp", "jpg", "png",  "gif",  "tga",  "jp2", "pcx",
                                   "tif", "emf", "webp", "avif", "heic", "jxl"};

std::string Folder() {
  const char* shm = "/dev/shm";
  std::string base = access(shm, W_OK) == 0 ? shm : "/tmp";
  return base + "/quendra-fuzz-" + std::to_string(getpid());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  struct Scratch {
    std::string path = Folder();
    Scratch() { mkdir(path.c_str(), 0700); }
    ~Scratch() { rmdir(path.c_str()); }
  };
  static const Scratch scratch;
  const std::string& folder = scratch.path;
  const std::string path = folder + "/input." + kExtensions[data[0] % std::size(kExtensions)];
  // Client sizes from 0 (a display area without size) to 2047 each way, thin ones included.
  const int cw = (data[1] | (data[2] << 8)) & 0x7FF, ch = (data[3] | (data[4] << 8)) & 0x7FF;
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data + 5, 1, size - 5, f);
    std::fclose(f);
  } else {
    return 0;
  }
  try {
    quendra::TZoomer img;
    img.SetClientSize(cw, ch);
    img.SetProportional(true);
    img.SetCenter(true);
    quendra::LoadIntoZoomer(img, path);
    const quendra::Bitmap& b = img.Picture().AsBitmap().Image();
    // The fitted picture never exceeds the display area.
    if (b.Width() > cw + 1 || b.Height() > ch + 1) __builtin_trap();
    if (quendra::fuzz::Verbose()) std::printf("shown %dx%d\n", b.Width(), b.Height());
  } catch (const std::exception& e) {
    if (quendra::fuzz::Verbose()) std::printf("refused: %s\n", e.what());
  }
  unlink(path.c_str());
  return 0;
}
