// Feeds arbitrary bytes to the TIFF reader.
#include "formats/tiff_graphic.h"
#include "fuzz_graphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quendra::fuzz::Load<quendra::TTIFFGraphic>(data, size);
  return 0;
}
