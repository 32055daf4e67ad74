#include "imaging/rotate.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/two_halves.h"

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
  // Source rows are taken in the order of the turn, a band of kBand at a time: for each column
  // the band's pixels go one after another into that column's target row, so every target row
  // receives a whole cache line at once instead of one pixel per pass. Each half of the bands
  // runs on its own core, with its own write pointers.
  constexpr int kBand = 16;
  const int bands = (H + kBand - 1) / kBand;
  const int minimum = int64_t(W) * H >= (int64_t(1) << 18) ? 2 : bands + 1;  // from 1/4 MP
  InTwoHalves(bands, minimum, [&](int fromBand, int toBand, const std::atomic<bool>&) {
    const int start = fromBand * kBand;
    std::vector<uint32_t*> rows(static_cast<size_t>(W));
    for (int x = 0; x < W; ++x)
      rows[size_t(x)] = reinterpret_cast<uint32_t*>(r.Row(Clockwise ? x : W - 1 - x)) + start;
    uint32_t** const dst = rows.data();
    const uint32_t* band[kBand];
    for (int i0 = start; i0 < std::min(H, toBand * kBand); i0 += kBand) {
      const int n = std::min(kBand, H - i0);
      for (int k = 0; k < n; ++k) {
        const int i = i0 + k;
        band[k] = reinterpret_cast<const uint32_t*>(b.Row(Clockwise ? H - 1 - i : i));
      }
      if (n == kBand) {
        for (int x = 0; x < W; ++x) {
          uint32_t* d = dst[x];
          for (int k = 0; k < kBand; ++k) d[k] = band[k][x];
          dst[x] = d + kBand;
        }
      } else {
        for (int x = 0; x < W; ++x)
          for (int k = 0; k < n; ++k) *dst[x]++ = band[k][x];
      }
    }
  });
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
