#include "imaging/rotate.h"

#include <cstring>
#include <vector>

namespace quendra {

namespace {

// Fills R (H wide, W high) from B by walking B's rows in the given order; each R row has a
// write pointer that advances one pixel per write, so no coordinates are computed per pixel.
template <bool Clockwise>
void Turn(Bitmap& b) {
  Bitmap r;
  r.TransparentColor = b.TransparentColor;
  r.Transparent = b.Transparent;
  r.TransparentMode_ = b.TransparentMode_;
  b.ConvertTo32();
  const int W = b.Width(), H = b.Height();
  r.Allocate(H, W, PixelFormat::pf32bit);  // every pixel is written below
  std::vector<uint32_t*> rows(static_cast<size_t>(W));
  for (int x = 0; x < W; ++x)
    rows[size_t(x)] = reinterpret_cast<uint32_t*>(r.Row(Clockwise ? x : W - 1 - x));
  uint32_t** const dst = rows.data();
  for (int i = 0; i < H; ++i) {
    const int y = Clockwise ? H - 1 - i : i;
    const uint32_t* src = reinterpret_cast<const uint32_t*>(b.Row(y));
    for (int x = 0; x < W; ++x) *dst[x]++ = src[x];
  }
  b = std::move(r);
}

}  // namespace

void RotateBitmapRight(Bitmap& b) {
  Turn<true>(b);
}
void RotateBitmapLeft(Bitmap& b) {
  Turn<false>(b);
}

}  // namespace quendra
