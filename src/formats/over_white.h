#pragma once
// Pictures with alpha are shown over white, as a PNG with alpha is: the readers that keep a
// 32-bit bitmap blend its colours in place and leave the alpha in the fourth byte.
#include <cstdint>

namespace quendra {

// Blends `count` blue-green-red-alpha pixels over white, rounded to nearest.
inline void BlendOverWhite(uint8_t* bgra, int count) {
  for (int i = 0; i < count; ++i, bgra += 4) {
    const unsigned a = bgra[3], back = 255u * (255u - a);
    for (int c = 0; c < 3; ++c) bgra[c] = uint8_t((bgra[c] * a + back + 127u) / 255u);
  }
}

}  // namespace quendra
