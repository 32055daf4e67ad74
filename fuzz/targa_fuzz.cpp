// Feeds arbitrary bytes to the Targa reader, and checks that what it reads it can write and read
// back to the same pixels.
#include "formats/targa_graphic.h"
#include "fuzz_graphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto bmp = quendra::fuzz::Load<quendra::TTargaGraphic>(data, size);
  if (!bmp || bmp->Empty() || bmp->Format() == quendra::PixelFormat::pf16bit) return 0;
  quendra::TTargaGraphic again;
  again.LoadFromMemory(quendra::EncodeTarga(*bmp));
  if (!(again.Image() == *bmp)) __builtin_trap();
  return 0;
}
