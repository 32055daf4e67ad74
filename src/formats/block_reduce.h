#pragma once
// Pictures reduced to 1/2, 1/4 or 1/8 of their size by averaging blocks, for the formats that
// have no reduced decode of their own.
//
// A decoded 8-bit YCbCr picture reduced to 1/2, 1/4 or 1/8 of its size before its colours are
// converted: a fitted load of a 12-megapixel AVIF or HEIC picture then converts 0.75 megapixels,
// not 12, and never holds the converted picture at full size. Each output pixel is the mean of
// its block of luma samples and of the chroma samples under that block; the conversion is
// linear, so this equals averaging the converted pixels but for clipping.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "base/bitmap.h"

namespace quendra {

struct YCbCrPlanes {
  int width = 0, height = 0;  // the luma plane's, the picture's size
  const uint8_t* y = nullptr;
  size_t yStride = 0;
  const uint8_t* cb = nullptr;  // both null for a grey picture
  const uint8_t* cr = nullptr;
  size_t cStride = 0;
  int chromaShiftX = 0, chromaShiftY = 0;  // 1 where chroma has half the samples (4:2:0: both)
  // Whether the full-size conversion interpolates chroma linearly between samples (libavif's)
  // rather than giving each sample its pixels (libheif's): the reduction follows suit.
  bool smoothChroma = false;
  const uint8_t* alpha = nullptr;  // null when opaque
  size_t alphaStride = 0;
  double kr = 0.299, kb = 0.114;  // the matrix's luma weights of red and blue
  bool fullRange = true;          // else luma spans 16-235, chroma 16-240
};

// The luma weights for an ISO/IEC 23091-2 matrix_coefficients value; none for matrices that
// are not a plain weighting of red, green and blue (identity, YCgCo, constant luminance).
std::optional<std::pair<double, double>> LumaWeights(int matrixCoefficients);

// The picture at 1/denom (2, 4 or 8) of its size, rounded up, as blue-green-red pixels (24 bits);
// with alpha, 32 bits whose colours are blended over white, the alpha kept in the fourth byte.
Bitmap ReducedFromYCbCr(const YCbCrPlanes& p, int denom);

// A 32-bit picture at 1/denom of its size, rounded up: each pixel the mean of its block, all four
// bytes alike.
Bitmap ReducedBgra(const Bitmap& full, int denom);

}  // namespace quendra
