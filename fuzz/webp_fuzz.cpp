// Feeds arbitrary bytes to the WebP reader: the bitmap at a scale the input's last byte picks
// (large pictures at 1/8, as the viewer would), then the streamed rows the fitted load uses.
#include <cstdlib>

#include "formats/webp_graphic.h"
#include "fuzz_graphic.h"

namespace {

quendra::JpegScale pick = quendra::JpegScale::jsFullSize;

void Prepare(quendra::TWebPGraphic& g) {
  g.SetScale(int64_t(g.Width()) * g.Height() > (int64_t(1) << 22) ? quendra::JpegScale::jsEighth
                                                                  : pick);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pick = quendra::JpegScale(size > 0 ? data[size - 1] & 3 : 0);
  if (!quendra::fuzz::Load<quendra::TWebPGraphic>(data, size, Prepare)) return 0;
  quendra::TWebPGraphic g;
  g.LoadFromMemory(std::span<const uint8_t>(data, size));
  Prepare(g);
  int height = -1, rows = 0;
  // Rows come in order, each once, as many as announced; a decode that fails may stop early.
  try {
    g.DecodeRows([&](int, int h) { height = h; },
                 [&](const uint8_t*, int y) {
                   if (y != rows++) std::abort();
                 });
  } catch (const std::exception&) {
    return 0;
  }
  if (rows != height) std::abort();
  return 0;
}
