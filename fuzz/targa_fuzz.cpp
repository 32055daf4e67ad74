// Feeds arbitrary bytes to the TTargaGraphic reader: it must load or throw, nothing else.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "formats/targa_graphic.h"
#include "imaging/bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quendra::TTargaGraphic graphic;
  try {
    graphic.LoadFromMemory({data, size});
    quendra::Bitmap bmp;
    graphic.AssignTo(bmp);
    // Touch every pixel row through the common path so that bad sizes show (big pictures
    // only cost time: the reader has done its part).
    if (int64_t(bmp.Width()) * bmp.Height() > (int64_t(1) << 22)) return 0;
    if (!bmp.Empty()) (void)bmp.To32();
    // What we read we can write, and read back to the same pixels.
    if (!bmp.Empty()) {
      quendra::TTargaGraphic again;
      again.LoadFromMemory(quendra::EncodeTarga(bmp));
      if (!(again.Image() == bmp) && bmp.Format() != quendra::PixelFormat::pf16bit)
        __builtin_trap();
    }
  } catch (const std::exception&) {
  }
  return 0;
}
