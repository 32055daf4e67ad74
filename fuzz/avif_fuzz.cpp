// Feeds arbitrary bytes to the AVIF reader.
#include "formats/avif_graphic.h"
#include "fuzz_graphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quendra::fuzz::Load<quendra::TAvifGraphic>(data, size);
  return 0;
}
