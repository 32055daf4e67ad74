#include "formats/block_reduce.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#include "base/two_halves.h"
#include "formats/load_cancel.h"
#include "formats/over_white.h"

namespace quendra {

std::optional<std::pair<double, double>> LumaWeights(int mc) {
  switch (mc) {
    case 1:  // BT.709
      return std::pair{0.2126, 0.0722};
    case 2:  // unspecified: what decoders assume
    case 5:  // BT.470 B/G
    case 6:  // BT.601
      return std::pair{0.299, 0.114};
    case 4:  // FCC
      return std::pair{0.30, 0.11};
    case 7:  // SMPTE 240M
      return std::pair{0.212, 0.087};
    case 9:  // BT.2020 non-constant luminance
      return std::pair{0.2627, 0.0593};
    default:
      return std::nullopt;
  }
}

namespace {

// Adds `weight` times the sum of each whole block of B samples of a row, for the first `blocks`.
// Restricted: the sums are not the samples, so the compiler may vectorise the loop.
template <int B>
void AddBlocks(const uint8_t* __restrict row, int blocks, uint32_t weight,
               uint32_t* __restrict sums) {
  for (int o = 0; o < blocks; ++o) {
    uint32_t s = 0;
    for (int k = 0; k < B; ++k) s += row[o * B + k];
    sums[o] += weight * s;
  }
}

// AddRow's smoothing for the columns [from, to), each of which has a sample on either side.
void SmoothInner(const uint8_t* __restrict row, int block, int from, int to, uint32_t weight,
                 uint32_t* __restrict sums) {
  for (int o = from; o < to; ++o) {
    const int first = o * block;
    sums[o] += weight * (uint32_t(row[first - 1]) + row[first + block] - row[first] -
                         row[first + block - 1]);
  }
}

// Adds, for each output column, `weight` times the samples of one plane row that fall in it:
// block columns of `block` samples, the last one cut at the row's end. Smoothed, each column
// counts eight times over, its first and last sample once less and the samples beside it once:
// the mean of a row drawn by linear interpolation between samples centred on pairs of pixels.
void AddRow(const uint8_t* row, int samples, int block, int columns, uint32_t weight, bool smooth,
            uint32_t* sums) {
  const int whole = std::min(columns, samples / block);
  const uint32_t w = smooth ? 8 * weight : weight;
  switch (block) {
    case 1:
      AddBlocks<1>(row, whole, w, sums);
      break;
    case 2:
      AddBlocks<2>(row, whole, w, sums);
      break;
    case 4:
      AddBlocks<4>(row, whole, w, sums);
      break;
    default:
      AddBlocks<8>(row, whole, w, sums);
      break;
  }
  for (int o = whole; o < columns; ++o) {  // the cut block at the end, if any
    uint32_t t = 0;
    for (int x = o * block; x < std::min(samples, o * block + block); ++x) t += row[x];
    sums[o] += w * t;
  }
  if (!smooth) return;
  const auto adjust = [&](int o) {
    const int first = o * block, end = std::min(samples, first + block);
    sums[o] += weight * (uint32_t(row[std::max(first - 1, 0)]) + row[std::min(end, samples - 1)] -
                         row[first] - row[end - 1]);
  };
  // Columns with samples on both sides need no clamping, and the loop vectorises.
  const int inner = std::max(1, std::min(columns, (samples - 1) / block));
  if (columns > 0) adjust(0);
  SmoothInner(row, block, 1, inner, weight, sums);
  for (int o = inner; o < columns; ++o) adjust(o);
}

// Samples of a block of `block` starting at `first` that lie within `size`.
int Within(int first, int block, int size) {
  return std::max(0, std::min(block, size - first));
}

uint8_t Clamped(float v) {
  return uint8_t(std::clamp(v + 0.5f, 0.0f, 255.0f));
}

}  // namespace

Bitmap ReducedFromYCbCr(const YCbCrPlanes& p, int denom) {
  const int ow = (p.width + denom - 1) / denom, oh = (p.height + denom - 1) / denom;
  Bitmap out;
  // Opaque pictures come out as 24 bits, which the fitting resampler reads as they are.
  const bool alpha = p.alpha != nullptr;
  out.Allocate(ow, oh, alpha ? PixelFormat::pf32bit : PixelFormat::pf24bit);  // all written
  const bool chroma = p.cb != nullptr && p.cr != nullptr;
  const int bpp = alpha ? 4 : 3;
  const int cw = (p.width + p.chromaShiftX) >> p.chromaShiftX;
  const int ch = (p.height + p.chromaShiftY) >> p.chromaShiftY;
  const int cBlockX = denom >> p.chromaShiftX, cBlockY = denom >> p.chromaShiftY;
  const bool smoothX = p.smoothChroma && p.chromaShiftX == 1;
  const bool smoothY = p.smoothChroma && p.chromaShiftY == 1;

  // Studio range stretches luma 16-235 and chroma 16-240 to full scale.
  const float yOffset = p.fullRange ? 0.0f : 16.0f;
  const float yScale = p.fullRange ? 1.0f : 255.0f / 219.0f;
  const float cScale = p.fullRange ? 1.0f : 255.0f / 224.0f;
  const double kr = p.kr, kb = p.kb, kg = 1.0 - kr - kb;
  const float crToR = float(2 * (1 - kr)) * cScale, cbToB = float(2 * (1 - kb)) * cScale;
  const float cbToG = float(-2 * kb * (1 - kb) / kg) * cScale;
  const float crToG = float(-2 * kr * (1 - kr) / kg) * cScale;

  // Rows [from, to) of the result. The half on the loading thread checks for a cancelled load
  // (elsewhere there is no cancel scope and the check is nothing); the other stops with it.
  const auto reduceRows = [&](int from, int to, const std::atomic<bool>& stop) {
    const size_t n = size_t(ow);
    std::vector<uint32_t> ys(n), as(n), cbs(n), crs(n);
    std::vector<float> yShare(n), cShare(n);  // one over each column's samples
    for (int o = 0; o < ow; ++o) {
      yShare[size_t(o)] = 1.0f / float(Within(o * denom, denom, p.width));
      cShare[size_t(o)] =
          1.0f / (float(Within(o * cBlockX, cBlockX, cw)) * (smoothX ? 8.0f : 1.0f));
    }
    for (int oy = from; oy < to; ++oy) {
      if ((oy & 15) == 0) ThrowIfCancelled();
      if (stop) return;
      std::fill(ys.begin(), ys.end(), 0u);
      std::fill(as.begin(), as.end(), 0u);
      std::fill(cbs.begin(), cbs.end(), 0u);
      std::fill(crs.begin(), crs.end(), 0u);
      const int y0 = oy * denom, rows = Within(y0, denom, p.height);
      for (int y = y0; y < y0 + rows; ++y) {
        AddRow(p.y + size_t(y) * p.yStride, p.width, denom, ow, 1, false, ys.data());
        if (p.alpha)
          AddRow(p.alpha + size_t(y) * p.alphaStride, p.width, denom, ow, 1, false, as.data());
      }
      const int c0 = oy * cBlockY, cRows = Within(c0, cBlockY, ch);
      const auto addChromaRow = [&](int y, uint32_t weight) {
        AddRow(p.cb + size_t(y) * p.cStride, cw, cBlockX, ow, weight, smoothX, cbs.data());
        AddRow(p.cr + size_t(y) * p.cStride, cw, cBlockX, ow, weight, smoothX, crs.data());
      };
      if (chroma && smoothY && cRows > 0) {  // the vertical counterpart of AddRow's smoothing
        const int last = c0 + cRows - 1;
        for (int y = c0; y <= last; ++y) addChromaRow(y, 8 - (y == c0) - (y == last));
        addChromaRow(std::max(c0 - 1, 0), 1);
        addChromaRow(std::min(last + 1, ch - 1), 1);
      } else if (chroma) {
        for (int y = c0; y < c0 + cRows; ++y) addChromaRow(y, 1);
      }
      const float rowShare = 1.0f / float(rows);
      const float chromaRowShare = 1.0f / (float(std::max(cRows, 1)) * (smoothY ? 8.0f : 1.0f));
      uint8_t* d = out.Row(oy);
      for (int o = 0; o < ow; ++o, d += bpp) {
        const float share = yShare[size_t(o)] * rowShare;
        const float luma = (float(ys[size_t(o)]) * share - yOffset) * yScale;
        float cb = 0, cr = 0;
        if (chroma) {
          const float m = cShare[size_t(o)] * chromaRowShare;
          cb = float(cbs[size_t(o)]) * m - 128.0f, cr = float(crs[size_t(o)]) * m - 128.0f;
        }
        d[0] = Clamped(luma + cbToB * cb);
        d[1] = Clamped(luma + cbToG * cb + crToG * cr);
        d[2] = Clamped(luma + crToR * cr);
        if (alpha) d[3] = Clamped(float(as[size_t(o)]) * share);
      }
      if (alpha) BlendOverWhite(out.Row(oy), ow);
    }
  };
  InTwoHalves(oh, 64, reduceRows);
  return out;
}

Bitmap ReducedBgra(const Bitmap& full, int denom) {
  const int ow = (full.Width() + denom - 1) / denom, oh = (full.Height() + denom - 1) / denom;
  Bitmap out;
  out.Allocate(ow, oh, PixelFormat::pf32bit);
  std::vector<uint32_t> sums(4 * size_t(ow));
  for (int oy = 0; oy < oh; ++oy) {
    std::fill(sums.begin(), sums.end(), 0u);
    const int y0 = oy * denom, rows = Within(y0, denom, full.Height());
    for (int y = y0; y < y0 + rows; ++y) {
      const uint8_t* s = full.Row(y);
      for (int x = 0; x < full.Width(); ++x)
        for (int c = 0; c < 4; ++c) sums[size_t(x / denom) * 4 + size_t(c)] += s[4 * x + c];
    }
    uint8_t* d = out.Row(oy);
    for (int o = 0; o < ow; ++o) {
      const uint32_t n = uint32_t(Within(o * denom, denom, full.Width()) * rows);
      for (int c = 0; c < 4; ++c)
        d[4 * o + c] = uint8_t((sums[size_t(o) * 4 + size_t(c)] + n / 2) / n);
    }
  }
  return out;
}

}  // namespace quendra
