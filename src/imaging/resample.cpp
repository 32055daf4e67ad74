#include "imaging/resample.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/errors.h"

namespace quendra {

Bitmap NewBitmap32(int width, int height) {
  return Bitmap(width, height, PixelFormat::pf32bit);
}

Bitmap ToBitmap32(TGraphic& graphic) {
  Bitmap b;
  graphic.HandOver(b);
  return b;
}

TRect FitRect(const TRect& dest, const TRect& source, int width) {
  int height = MulDiv(source.Height(), width, source.Width());
  TRect target{0, 0, width, height};
  if (height > dest.Bottom) target = {0, 0, MulDiv(width, dest.Bottom, height), dest.Bottom};
  // A very thin picture (60000 x 1 on a 460-pixel display) would round to nothing: a fitted
  // side is at least one pixel.
  target.Right = std::max(target.Right, 1);
  target.Bottom = std::max(target.Bottom, 1);
  return target;
}

namespace {

constexpr int kWeightBits = 14;  // weights of one target pixel sum to exactly 1 << 14

// For each target index, the source range it covers and a weight per source index.
struct Taps {
  std::vector<int> first, count;
  std::vector<uint16_t> weights;  // count[i] entries per target, packed
  std::vector<int> offset;
  // The same taps padded with zero weights to a fixed count K per target (when K is small),
  // so the inner loop has a constant trip count.
  int K = 0;
  std::vector<int> paddedFirst;
  std::vector<uint16_t> padded;
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
  int k = 0;
  for (int c : t.count) k = std::max(k, c);
  if (k <= 4 && k <= src) {
    t.K = k;
    t.paddedFirst.resize(dst);
    t.padded.assign(size_t(dst) * size_t(k), 0);
    for (int i = 0; i < dst; ++i) {
      int f = std::min(t.first[i], src - k);
      t.paddedFirst[i] = f;
      for (int c = 0; c < t.count[i]; ++c)
        t.padded[size_t(i) * k + size_t(t.first[i] - f + c)] = t.weights[size_t(t.offset[i] + c)];
    }
  }
  return t;
}

// Horizontal pass of one source row of Bpp bytes per pixel (blue, green, red first) into 3
// channels per target pixel, kept with 6 bits of fraction (values up to 255 << 6).
template <int Bpp>
void ReduceRow(const uint8_t* src, const Taps& tx, int dstW, uint16_t* out) {
  const int* first = tx.first.data();
  const int* count = tx.count.data();
  const int* offset = tx.offset.data();
  const uint16_t* weights = tx.weights.data();
  for (int i = 0; i < dstW; ++i) {
    const uint8_t* p = src + Bpp * first[i];
    const uint16_t* w = weights + offset[i];
    uint32_t b = 0, g = 0, r = 0;
    for (int k = 0, n = count[i]; k < n; ++k, p += Bpp) {
      b += uint32_t(w[k]) * p[0];
      g += uint32_t(w[k]) * p[1];
      r += uint32_t(w[k]) * p[2];
    }
    out[4 * i] = uint16_t((b + (1 << 7)) >> 8);
    out[4 * i + 1] = uint16_t((g + (1 << 7)) >> 8);
    out[4 * i + 2] = uint16_t((r + (1 << 7)) >> 8);
    out[4 * i + 3] = 0;
  }
}

template <int Bpp, int K>
void ReduceRowFixed(const uint8_t* src, const Taps& tx, int dstW, uint16_t* out) {
  const int* first = tx.paddedFirst.data();
  const uint16_t* w = tx.padded.data();
  for (int i = 0; i < dstW; ++i, w += K) {
    const uint8_t* p = src + Bpp * first[i];
    uint32_t b = 0, g = 0, r = 0;
    for (int k = 0; k < K; ++k) {
      b += uint32_t(w[k]) * p[Bpp * k];
      g += uint32_t(w[k]) * p[Bpp * k + 1];
      r += uint32_t(w[k]) * p[Bpp * k + 2];
    }
    out[4 * i] = uint16_t((b + (1 << 7)) >> 8);
    out[4 * i + 1] = uint16_t((g + (1 << 7)) >> 8);
    out[4 * i + 2] = uint16_t((r + (1 << 7)) >> 8);
    out[4 * i + 3] = 0;
  }
}

template <int Bpp>
void Reduce(const uint8_t* src, const Taps& tx, int dstW, uint16_t* out) {
  switch (tx.K) {
    case 1:
      return ReduceRowFixed<Bpp, 1>(src, tx, dstW, out);
    case 2:
      return ReduceRowFixed<Bpp, 2>(src, tx, dstW, out);
    case 3:
      return ReduceRowFixed<Bpp, 3>(src, tx, dstW, out);
    case 4:
      return ReduceRowFixed<Bpp, 4>(src, tx, dstW, out);
    default:
      return ReduceRow<Bpp>(src, tx, dstW, out);
  }
}

// Vertical pass: one target row (blue, green, red, 0 per pixel) from the weighted reduced rows.
// Each reduced pixel has four channels with the fourth 0, so every loop here is flat.
void CombineRows(const uint16_t* const* rows, const uint16_t* w, int n, int width, uint8_t* out) {
  const size_t len = size_t(width) * 4;
  constexpr uint32_t kHalf = 1u << 19;
  if (n == 1) {
    const uint16_t* h = rows[0];
    for (size_t i = 0; i < len; ++i) out[i] = uint8_t((h[i] + 32u) >> 6);
    return;
  }
  if (n == 2) {  // the common case when reducing by less than two: no accumulator pass
    const uint16_t* h0 = rows[0];
    const uint16_t* h1 = rows[1];
    const uint32_t w0 = w[0], w1 = w[1];
    for (size_t i = 0; i < len; ++i) out[i] = uint8_t((w0 * h0[i] + w1 * h1[i] + kHalf) >> 20);
    return;
  }
  // Sums of up to (255 << 6) * (1 << 14) fit in 32 bits.
  thread_local std::vector<uint32_t> acc;
  acc.resize(len);
  uint32_t* a = acc.data();
  const uint16_t* h0 = rows[0];
  const uint32_t w0 = w[0];
  for (size_t i = 0; i < len; ++i) a[i] = w0 * h0[i];
  for (int k = 1; k < n; ++k) {
    const uint16_t* h = rows[k];
    const uint32_t wk = w[k];
    for (size_t i = 0; i < len; ++i) a[i] += wk * h[i];
  }
  for (size_t i = 0; i < len; ++i) out[i] = uint8_t((a[i] + kHalf) >> 20);
}

}  // namespace

struct StreamResampler::State {
  Taps tx, ty;
  int window = 0;
  std::vector<uint16_t> ring;  // horizontally reduced rows, four channels each
  std::vector<const uint16_t*> rows;
  int nextSource = 0, nextTarget = 0;
};

StreamResampler::StreamResampler(int srcWidth, int srcHeight, int width, int height)
    : state_(std::make_unique<State>()), srcWidth_(srcWidth), srcHeight_(srcHeight) {
  dst_.Allocate(width, height, PixelFormat::pf32bit);  // every pixel is written as rows complete
  if (dst_.Empty() || srcWidth <= 0 || srcHeight <= 0) return;
  State& s = *state_;
  s.tx = MakeTaps(srcWidth, width);
  s.ty = MakeTaps(srcHeight, height);
  for (int c : s.ty.count) s.window = std::max(s.window, c);
  s.ring.resize(size_t(s.window) * size_t(width) * 4);
  s.rows.resize(size_t(s.window));
}

StreamResampler::~StreamResampler() = default;

void StreamResampler::PushRow(const uint8_t* row, int bytesPerPixel) {
  State& s = *state_;
  if (s.window == 0 || s.nextSource >= srcHeight_) return;
  const int sy = s.nextSource++;
  const int width = dst_.Width();
  uint16_t* out = s.ring.data() + size_t(sy % s.window) * size_t(width) * 4;
  if (bytesPerPixel == 3)
    Reduce<3>(row, s.tx, width, out);
  else
    Reduce<4>(row, s.tx, width, out);
  // Every target row whose last source row has now arrived; its rows are the newest in the ring.
  while (s.nextTarget < dst_.Height()) {
    const int y = s.nextTarget, first = s.ty.first[y], n = s.ty.count[y];
    if (first + n - 1 > sy) break;
    for (int k = 0; k < n; ++k)
      s.rows[size_t(k)] = s.ring.data() + size_t((first + k) % s.window) * size_t(width) * 4;
    CombineRows(s.rows.data(), s.ty.weights.data() + s.ty.offset[y], n, width, dst_.Row(y));
    ++s.nextTarget;
    if (done_) done_(dst_, y);
  }
}

Bitmap StreamResampler::Finish() {
  // Rows that never arrived (a source cut short) count as black.
  if (state_->window > 0) {
    std::vector<uint8_t> black(size_t(srcWidth_) * 4, 0);
    while (state_->nextSource < srcHeight_) PushRow(black.data(), 4);
  }
  return std::move(dst_);
}

Bitmap Resampled(const Bitmap& src, int width, int height) {
  StreamResampler r(src.Width(), src.Height(), width, height);
  if (src.Format() == PixelFormat::pf24bit) {
    for (int y = 0; y < src.Height(); ++y) r.PushRow(src.Row(y), 3);
  } else {
    std::vector<uint8_t> scratch(src.Format() == PixelFormat::pf32bit ? 0
                                                                      : size_t(src.Width()) * 4);
    for (int y = 0; y < src.Height(); ++y) r.PushRow(RowAs32(src, y, scratch.data()), 4);
  }
  Bitmap dst = r.Finish();
  dst.Transparent = src.Transparent;
  dst.TransparentColor = src.TransparentColor;
  return dst;
}

void ResampleHalftone(Bitmap& bitmap, const TRect& rect) {
  if (rect.Right < 0 || rect.Bottom < 0) throw EInvalidGraphic("Invalid target size");
  bitmap = Resampled(bitmap, rect.Right, rect.Bottom);
}

}  // namespace quendra
