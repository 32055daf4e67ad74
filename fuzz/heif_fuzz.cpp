// Feeds arbitrary bytes to the HEIF reader.
#include "formats/heif_graphic.h"
#include "fuzz_graphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quendra::fuzz::Load<quendra::THeifGraphic>(data, size);
  return 0;
}
