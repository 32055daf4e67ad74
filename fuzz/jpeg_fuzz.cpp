// Feeds arbitrary bytes to the JPEG reader: it may refuse them, but only with its own error.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "formats/jpeg_image.h"
#include "formats/graphic_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    quendra::TJPEGImage g;
    g.LoadFromMemory(std::span<const uint8_t>(data, size));
    // Decode small pictures at full size and large ones at 1/8, as the viewer would; this keeps
    // each run short without leaving the scaled paths untested.
    if (int64_t(g.Width()) * g.Height() > (int64_t(1) << 22)) g.SetScale(quendra::JpegScale::jsEighth);
    quendra::Bitmap b;
    g.AssignTo(b);
    if (const char* v = std::getenv("QUENDRA_FUZZ_VERBOSE"); v && *v) std::printf("decoded %dx%d\n", b.Width(), b.Height());
  } catch (const quendra::EInvalidGraphic& e) {
    if (const char* v = std::getenv("QUENDRA_FUZZ_VERBOSE"); v && *v) std::printf("refused: %s\n", e.what());
  }
  return 0;
}
