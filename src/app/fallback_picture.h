#pragma once
#include "base/bitmap.h"

namespace quendra {

// The picture shown when a file fails to load: 600 x 240, 24 bits, white with "Whoops!" in
// large red letters over "something failed to load..." in grey. Built from data compiled in.
const Bitmap& FallbackPicture();

}  // namespace quendra
