// Feeds arbitrary bytes to the JPEG XL reader.
#include "formats/jxl_graphic.h"
#include "fuzz_graphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quendra::fuzz::Load<quendra::TJxlGraphic>(data, size);
  return 0;
}
