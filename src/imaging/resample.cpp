#include "imaging/resample.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/graphic_error.h"

namespace quendra {

Bitmap NewBitmap32(int width, int height) { return Bitmap(width, height, PixelFormat::pf32bit); }

Bitmap ToBitmap32(TGraphic& graphic) {
  Bitmap b;
  graphic.HandOver(b);
  return b;
}

TRect FitRect(const TRect& dest, const TRect& source, int width) {
  int height = MulDiv(source.Height(), width, source.Width());
  TRect target{0, 0, width, height};
  if (height > dest.Bottom) target = {0, 0, MulDiv(width, dest.Bottom, height), dest.Bottom};
  return target;
}

namespace {

constexpr int kWeightBits = 14;  // weights of one target pixel sum to exactly 1 << 14

// For each target index, the source range it covers and a weight per source index.
struct Taps {
  std::vector<int> first, count;
  std::vector<uint16_t> weights;  // count[i] entries per target, packed
  std::vector<int> offset;
};

// Target pixel i covers [i*S, (i+1)*S) and source pixel j covers [j*D, (j+1)*D) in units of
// 1/(S*D), so every overlap is an exact integer.
Taps MakeTaps(int src, int dst) {
  Taps t;
  t.first.resize(dst);
  t.count.resize(dst);
  t.offset.resize(dst);
  const int64_t S = src, D = dst;
  for (int i = 0; i < dst; ++i) {
    int64_t lo = i * S, hi = (i + 1) * S;
    int j0 = int(lo / D), j1 = int((hi - 1) / D);
    t.first[i] = j0;
    t.count[i] = j1 - j0 + 1;
    t.offset[i] = int(t.weights.size());
    int sum = 0, biggest = 0, biggestAt = 0;
    for (int j = j0; j <= j1; ++j) {
      int64_t overlap = std::min(hi, (j + 1) * D) - std::max(lo, j * D);
      int w = int((overlap << kWeightBits) / S);
      t.weights.push_back(uint16_t(w));
      sum += w;
      if (w > biggest) biggest = w, biggestAt = j - j0;
    }
    // Rounding leftovers go to the largest tap so that flat colours stay exact.
    t.weights[size_t(t.offset[i] + biggestAt)] += uint16_t((1 << kWeightBits) - sum);
  }
  return t;
}

// Horizontal pass of one 32-bit source row into 3 channels per target pixel, kept with 6 bits
// of fraction (values up to 255 << 6).
void ReduceRow(const uint8_t* src, const Taps& tx, int dstW, uint16_t* out) {
  for (int i = 0; i < dstW; ++i) {
    const uint8_t* p = src + 4 * tx.first[i];
    const uint16_t* w = tx.weights.data() + tx.offset[i];
    uint32_t b = 0, g = 0, r = 0;
    for (int k = 0, n = tx.count[i]; k < n; ++k, p += 4) {
      b += w[k] * p[0];
      g += w[k] * p[1];
      r += w[k] * p[2];
    }
    out[3 * i] = uint16_t((b + (1 << 7)) >> 8);
    out[3 * i + 1] = uint16_t((g + (1 << 7)) >> 8);
    out[3 * i + 2] = uint16_t((r + (1 << 7)) >> 8);
  }
}

}  // namespace

Bitmap Resampled(const Bitmap& src, int width, int height) {
  Bitmap dst = NewBitmap32(width, height);
  if (dst.Empty() || src.Empty()) return dst;
  const Taps tx = MakeTaps(src.Width(), width);
  const Taps ty = MakeTaps(src.Height(), height);

  // Horizontally reduced source rows, kept in a ring just large enough for one target row.
  int window = 0;
  for (int c : ty.count) window = std::max(window, c);
  std::vector<uint16_t> ring(size_t(window) * size_t(width) * 3);
  std::vector<int> ringRow(size_t(window), -1);
  std::vector<uint8_t> expanded(src.Format() == PixelFormat::pf32bit ? 0 : size_t(src.Width()) * 4);
  std::vector<uint32_t> acc(size_t(width) * 3);

  auto reduced = [&](int sy) -> const uint16_t* {
    size_t slot = size_t(sy % window);
    uint16_t* out = ring.data() + slot * size_t(width) * 3;
    if (ringRow[slot] != sy) {
      const uint8_t* row = src.Row(sy);
      if (!expanded.empty()) {
        ExpandRowTo32(src, sy, expanded.data());
        row = expanded.data();
      }
      ReduceRow(row, tx, width, out);
      ringRow[slot] = sy;
    }
    return out;
  };

  for (int y = 0; y < height; ++y) {
    std::fill(acc.begin(), acc.end(), 0u);
    const uint16_t* wy = ty.weights.data() + ty.offset[y];
    for (int k = 0; k < ty.count[y]; ++k) {
      const uint16_t* h = reduced(ty.first[y] + k);
      const uint32_t w = wy[k];
      for (size_t i = 0; i < acc.size(); ++i) acc[i] += w * h[i];
    }
    uint8_t* out = dst.Row(y);
    for (int x = 0; x < width; ++x) {
      out[4 * x] = uint8_t((acc[3 * x] + (1u << 19)) >> 20);
      out[4 * x + 1] = uint8_t((acc[3 * x + 1] + (1u << 19)) >> 20);
      out[4 * x + 2] = uint8_t((acc[3 * x + 2] + (1u << 19)) >> 20);
      out[4 * x + 3] = 0;
    }
  }
  dst.Transparent = src.Transparent;
  dst.TransparentColor = src.TransparentColor;
  return dst;
}

void ResampleHalftone(Bitmap& bitmap, const TRect& rect) {
  if (rect.Right < 0 || rect.Bottom < 0) throw EInvalidGraphic("Invalid target size");
  bitmap = Resampled(bitmap, rect.Right, rect.Bottom);
}

}  // namespace quendra
