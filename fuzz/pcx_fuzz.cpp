// Feeds arbitrary bytes to the PCX reader.
#include "formats/pcx_graphic.h"
#include "fuzz_graphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quendra::fuzz::Load<quendra::TPCXGraphic>(data, size);
  return 0;
}
