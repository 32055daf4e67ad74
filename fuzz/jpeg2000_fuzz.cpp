// Feeds arbitrary bytes to the TJpeg2000Bitmap reader: it must load or throw, nothing else.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "formats/jpeg2000_bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quendra::TJpeg2000Bitmap graphic;
  try {
    graphic.LoadFromMemory({data, size});
    quendra::Bitmap bmp;
    graphic.AssignTo(bmp);
    // Touch every pixel row through the common path so that bad sizes show (big pictures
    // only cost time: the reader has done its part).
    if (int64_t(bmp.Width()) * bmp.Height() > (int64_t(1) << 22)) return 0;
    if (!bmp.Empty()) (void)bmp.To32();
  } catch (const std::exception&) {
  }
  return 0;
}
