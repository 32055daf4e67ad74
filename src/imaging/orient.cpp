#include "imaging/orient.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "imaging/rotate.h"

namespace quendra {

namespace {

void MirrorRows(Bitmap& b) {
  for (int y = 0; y < b.Height(); ++y) {
    auto* row = reinterpret_cast<uint32_t*>(b.Row(y));
    std::reverse(row, row + b.Width());
  }
}

void FlipRows(Bitmap& b) {
  const size_t bytes = size_t(b.Width()) * 4;
  for (int top = 0, bottom = b.Height() - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(b.Row(top), b.Row(top) + bytes, b.Row(bottom));
}

}  // namespace

// The diagonal mirrors are a quarter turn clockwise followed by a mirror or a flip.
void OrientBitmap(Bitmap& b, Orientation o) {
  if (o == Orientation::Normal || b.Width() <= 0 || b.Height() <= 0) return;
  b.ConvertTo32();
  switch (o) {
    case Orientation::Normal:
      break;
    case Orientation::Mirrored:
      MirrorRows(b);
      break;
    case Orientation::HalfTurn:
      MirrorRows(b);
      FlipRows(b);
      break;
    case Orientation::Flipped:
      FlipRows(b);
      break;
    case Orientation::Transposed:
      RotateBitmapRight(b);
      MirrorRows(b);
      break;
    case Orientation::TurnRight:
      RotateBitmapRight(b);
      break;
    case Orientation::Transversed:
      RotateBitmapRight(b);
      FlipRows(b);
      break;
    case Orientation::TurnLeft:
      RotateBitmapLeft(b);
      break;
  }
}

}  // namespace quendra
