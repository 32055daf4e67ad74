// Feeds arbitrary bytes to the PNG reader.
#include "formats/png_object.h"
#include "fuzz_graphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quendra::fuzz::Load<quendra::TPNGObject>(data, size);
  return 0;
}
