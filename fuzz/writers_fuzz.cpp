// Every writer on arbitrary pictures: the input's first bytes give a size and pixel format,
// the rest fills the pixels (and the palette). Each writer must take the picture or refuse it by
// throwing, and what its reader makes of the file must have the picture's size.
#include <algorithm>
#include <cstring>
#include <exception>

#include "formats/jpeg2000_bitmap.h"
#include "formats/jpeg_image.h"
#include "formats/png_object.h"
#include "formats/targa_graphic.h"
#include "formats/tbitmap.h"
#include "fuzz_graphic.h"

using namespace quendra;

namespace {

const PixelFormat kFormats[] = {PixelFormat::pf1bit,  PixelFormat::pf4bit,  PixelFormat::pf8bit,
                                PixelFormat::pf15bit, PixelFormat::pf16bit, PixelFormat::pf24bit,
                                PixelFormat::pf32bit};

template <class G>
void ReadBack(const std::vector<uint8_t>& bytes, const Bitmap& written) {
  auto b = fuzz::Load<G>(bytes.data(), bytes.size());
  if (b && (b->Width() != written.Width() || b->Height() != written.Height())) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const PixelFormat pf = kFormats[data[0] % 7];
  const int w = 1 + data[1] % 64, h = 1 + data[2] % 64;
  const unsigned palette = data[3];  // 0: no palette entries at all
  Bitmap bmp(w, h, pf);
  size_t at = 4;
  if (BitsPerPixel(pf) <= 8) {
    bmp.Palette().resize(std::min<size_t>(palette, size_t(1) << BitsPerPixel(pf)));
    for (auto& q : bmp.Palette()) {
      if (at + 3 > size) break;
      q = {data[at], data[at + 1], data[at + 2], 0};
      at += 3;
    }
  }
  for (int y = 0; y < h && at < size; ++y) {
    const size_t n = std::min(bmp.Stride(), size - at);
    std::memcpy(bmp.Row(y), data + at, n);
    at += n;
  }
  // Index pixels beyond the palette are a fact of life (a BMP or GIF can carry them); the
  // writers must still produce a file.
  auto attempt = [&](auto encode, auto read) {
    try {
      read(encode(), bmp);
    } catch (const std::exception&) {
    }
  };
  attempt([&] { return EncodeBmp(bmp); }, ReadBack<TBitmap>);
  attempt([&] { return EncodeTarga(bmp); }, ReadBack<TTargaGraphic>);
  attempt([&] { return EncodePng(bmp); }, ReadBack<TPNGObject>);
  attempt([&] { return EncodeJpeg(bmp, 90); }, ReadBack<TJPEGImage>);
  attempt([&] { return EncodeJpeg2000(bmp, 97, false); }, ReadBack<TJpeg2000Bitmap>);
  return 0;
}
