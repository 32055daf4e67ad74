// Feeds arbitrary bytes to the JPEG 2000 reader.
#include "formats/jpeg2000_bitmap.h"
#include "fuzz_graphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quendra::fuzz::Load<quendra::TJpeg2000Bitmap>(data, size);
  return 0;
}
