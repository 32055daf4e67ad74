// Feeds arbitrary bytes to the GIF reader.
#include "formats/gif_image.h"
#include "fuzz_graphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quendra::fuzz::Load<quendra::TGIFImage>(data, size);
  return 0;
}
