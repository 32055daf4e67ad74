#include "imaging/rotate.h"

#include "imaging/orient.h"

namespace quendra {

void RotateBitmapRight(Bitmap& b) {
  QuarterTurn(b, Orientation::TurnRight);
}
void RotateBitmapLeft(Bitmap& b) {
  QuarterTurn(b, Orientation::TurnLeft);
}

}  // namespace quendra
