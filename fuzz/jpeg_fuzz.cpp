// Feeds arbitrary bytes to the JPEG reader.
#include "formats/jpeg_image.h"
#include "fuzz_graphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Small pictures decode at full size and large ones at 1/8, as the viewer would; this keeps
  // each run short without leaving the scaled paths untested.
  quendra::fuzz::Load<quendra::TJPEGImage>(data, size, [](quendra::TJPEGImage& g) {
    if (int64_t(g.Width()) * g.Height() > (int64_t(1) << 22))
      g.SetScale(quendra::JpegScale::jsEighth);
  });
  return 0;
}
