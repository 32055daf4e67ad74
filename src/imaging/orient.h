#pragma once
#include "base/bitmap.h"
#include "formats/picture_metadata.h"

namespace quendra {

// Turns or mirrors the bitmap from its stored orientation to upright. Normal leaves it alone;
// anything else leaves a 32-bit bitmap that keeps the transparent colour.
void OrientBitmap(Bitmap& b, Orientation o);

}  // namespace quendra
