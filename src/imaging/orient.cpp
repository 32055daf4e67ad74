#include "imaging/orient.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/two_halves.h"

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

// Rows taken a band at a time: for each stored column the band's pixels go one after another
// into one upright row, a cache line at once instead of one pixel per pass.
constexpr int kBand = 16;

}  // namespace

UprightRows::UprightRows(int storedWidth, int storedHeight, Orientation o)
    : o_(o), width_(storedWidth), height_(storedHeight) {
  const bool swap = SwapsSides(o);
  upright_.Allocate(swap ? storedHeight : storedWidth, swap ? storedWidth : storedHeight,
                    PixelFormat::pf32bit);  // every pixel is placed
}

// Stored pixel (x, y) of a W x H picture lands, upright, at
//   Mirrored (W-1-x, y), Flipped (x, H-1-y), HalfTurn (W-1-x, H-1-y),
//   TurnRight (H-1-y, x), TurnLeft (y, W-1-x), Transposed (y, x), Transversed (H-1-y, W-1-x).
void UprightRows::Place(const Bitmap& stored, int from, int to) {
  const int W = width_, H = height_;
  auto row = [&](int y) { return reinterpret_cast<const uint32_t*>(stored.Row(y)); };
  if (!SwapsSides(o_)) {
    const bool mirror = o_ == Orientation::Mirrored || o_ == Orientation::HalfTurn;
    const bool flip = o_ == Orientation::Flipped || o_ == Orientation::HalfTurn;
    for (int y = from; y < to; ++y) {
      auto* d = reinterpret_cast<uint32_t*>(upright_.Row(flip ? H - 1 - y : y));
      if (mirror)
        std::reverse_copy(row(y), row(y) + W, d);
      else
        std::memcpy(d, row(y), size_t(W) * 4);
    }
    return;
  }
  // Upright column of stored row y, and upright row of stored column x.
  const bool columnsDown = o_ == Orientation::TurnLeft || o_ == Orientation::Transposed;
  const bool rowsUp = o_ == Orientation::TurnLeft || o_ == Orientation::Transversed;
  if (W == 0) return;
  // From one upright row to the next for each stored column, in pixels.
  const ptrdiff_t next = (W > 1 ? reinterpret_cast<uint32_t*>(upright_.Row(1)) -
                                      reinterpret_cast<uint32_t*>(upright_.Row(0))
                                : 0) *
                         (rowsUp ? -1 : 1);
  const uint32_t* band[kBand];
  for (int y0 = from; y0 < to; y0 += kBand) {
    // The band's rows in the order their upright columns run, so each write goes forward.
    const int n = std::min(kBand, to - y0);
    for (int k = 0; k < n; ++k) band[k] = row(columnsDown ? y0 + k : y0 + n - 1 - k);
    const int column = columnsDown ? y0 : H - y0 - n;
    uint32_t* d = reinterpret_cast<uint32_t*>(upright_.Row(rowsUp ? W - 1 : 0)) + column;
    if (n == kBand) {
      for (int x = 0; x < W; ++x, d += next)
        for (int k = 0; k < kBand; ++k) d[k] = band[k][x];
    } else {
      for (int x = 0; x < W; ++x, d += next)
        for (int k = 0; k < n; ++k) d[k] = band[k][x];
    }
  }
}

void OrientBitmap(Bitmap& b, Orientation o) {
  if (o == Orientation::Normal || b.Width() <= 0 || b.Height() <= 0) return;
  b.ConvertTo32();
  switch (o) {
    case Orientation::Mirrored:
      return MirrorRows(b);
    case Orientation::Flipped:
      return FlipRows(b);
    case Orientation::HalfTurn:
      MirrorRows(b);
      return FlipRows(b);
    default:
      break;
  }
  QuarterTurn(b, o);
}

void QuarterTurn(Bitmap& b, Orientation o) {
  b.ConvertTo32();
  UprightRows upright(b.Width(), b.Height(), o);
  const int bands = (b.Height() + kBand - 1) / kBand;
  const int minimum = int64_t(b.Width()) * b.Height() >= (int64_t(1) << 18) ? 2 : bands + 1;
  InTwoHalves(bands, minimum, [&](int fromBand, int toBand, const std::atomic<bool>&) {
    upright.Place(b, fromBand * kBand, std::min(b.Height(), toBand * kBand));
  });
  Bitmap r = upright.Take();
  r.TransparentColor = b.TransparentColor;
  r.Transparent = b.Transparent;
  r.TransparentMode_ = b.TransparentMode_;
  b = std::move(r);
}

}  // namespace quendra
