// Feeds arbitrary bytes to the metafile reader, and checks that a picture it shows survives our
// EMF writer and reader unchanged.
#include "formats/emf_writer.h"
#include "formats/metafile.h"
#include "fuzz_graphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto bmp = quendra::fuzz::Load<quendra::TMetafile>(data, size);
  if (!bmp || bmp->Empty()) return 0;
  quendra::TMetafile again;
  again.LoadFromMemory(quendra::EncodeEmf(*bmp));
  quendra::Bitmap back;
  again.AssignTo(back);
  // The DIB carries no transparency; everything else must come back.
  back.Transparent = bmp->Transparent;
  back.TransparentColor = bmp->TransparentColor;
  back.TransparentMode_ = bmp->TransparentMode_;
  if (!(back == *bmp)) __builtin_trap();
  return 0;
}
