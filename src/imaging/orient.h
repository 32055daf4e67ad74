#pragma once
#include "base/bitmap.h"
#include "formats/picture_metadata.h"

namespace quendra {

// Turns or mirrors the bitmap from its stored orientation to upright. Normal leaves it alone;
// anything else leaves a 32-bit bitmap that keeps the transparent colour.
void OrientBitmap(Bitmap& b, Orientation o);

// A quarter turn (TurnRight, TurnLeft, Transposed or Transversed) in one pass, each half of the
// bands on its own core from a quarter megapixel; the result is 32 bits and keeps the transparent
// colour. Also the user's turns.
void QuarterTurn(Bitmap& b, Orientation o);

// The upright copy of a 32-bit picture stored in orientation `o`, filled from bands of its stored
// rows as they become ready: a fitted load places each band while the decoder is still at work,
// so the turn is done when the last row is. Bands may be placed from two threads at once.
class UprightRows {
 public:
  UprightRows(int storedWidth, int storedHeight, Orientation o);
  // Places stored rows [from, to) of `stored` (32-bit, of the size given above).
  void Place(const Bitmap& stored, int from, int to);
  Bitmap Take() { return std::move(upright_); }

 private:
  Orientation o_;
  int width_, height_;  // stored
  Bitmap upright_;
};

}  // namespace quendra
