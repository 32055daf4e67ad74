// Feeds arbitrary bytes to the PNG reader: it may refuse them, but only with its own error.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "formats/png_object.h"
#include "formats/graphic_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    quendra::TPNGObject g;
    g.LoadFromMemory(std::span<const uint8_t>(data, size));
    quendra::Bitmap b;
    g.AssignTo(b);
    if (const char* v = std::getenv("QUENDRA_FUZZ_VERBOSE"); v && *v) std::printf("decoded %dx%d\n", b.Width(), b.Height());
  } catch (const quendra::EInvalidGraphic& e) {
    if (const char* v = std::getenv("QUENDRA_FUZZ_VERBOSE"); v && *v) std::printf("refused: %s\n", e.what());
  }
  return 0;
}
