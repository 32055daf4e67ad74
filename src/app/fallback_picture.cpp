#include "app/fallback_picture.h"

namespace quendra {
namespace {
#include "app/fallback_picture_data.inc"

Bitmap Build() {
  Bitmap b(kFallbackWidth, kFallbackHeight, PixelFormat::pf24bit);
  size_t pos = 0;
  for (size_t r = 0; r + 1 < sizeof(kFallbackRuns); r += 2) {
    const unsigned char* c = kFallbackPalette + 3 * kFallbackRuns[r + 1];
    for (int n = 0; n < kFallbackRuns[r] && pos < size_t(kFallbackWidth) * kFallbackHeight;
         ++n, ++pos) {
      uint8_t* p = b.Row(int(pos / kFallbackWidth)) + 3 * (pos % kFallbackWidth);
      p[0] = c[2];
      p[1] = c[1];
      p[2] = c[0];
    }
  }
  return b;
}
}  // namespace

const Bitmap& FallbackPicture() {
  static const Bitmap picture = Build();
  return picture;
}

}  // namespace quendra
