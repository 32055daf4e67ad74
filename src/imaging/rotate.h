#pragma once
#include "base/bitmap.h"

namespace quendra {

// Quarter turns in place; a bitmap that is not 32 bits is converted first, the result is 32 bits
// and keeps the transparent colour. One pass, a band of source rows at a time.
void RotateBitmapRight(Bitmap& b);  // clockwise
void RotateBitmapLeft(Bitmap& b);   // counter-clockwise

}  // namespace quendra
