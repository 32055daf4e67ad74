// Feeds arbitrary bytes to the BMP reader.
#include "formats/tbitmap.h"
#include "fuzz_graphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quendra::fuzz::Load<quendra::TBitmap>(data, size);
  return 0;
}
