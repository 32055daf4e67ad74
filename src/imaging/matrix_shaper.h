#pragma once
// The fast path for the common case: both profiles are three curves and a matrix (sRGB, Adobe
// RGB, ProPhoto, Display P3, primaries with a gamma). Such a pair composes into one 8-bit
// pipeline, curve - matrix - curve, in the same fixed-point steps littlecms takes for it, so the
// pixels come out identical, without littlecms's per-pixel unpacking and packing.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace quendra {

class MatrixShaper {
 public:
  // From two littlecms profiles (cmsHPROFILE), the picture's and the output's; null unless
  // littlecms itself would join them into curves and a matrix for the perceptual intent.
  static std::unique_ptr<MatrixShaper> FromProfiles(void* source, void* output);

  // Converts `count` pixels of blue, green, red at `pixels`, one every `step` bytes (3 or 4;
  // a fourth byte is not touched).
  void Apply(uint8_t* pixels, size_t count, size_t step) const;

 private:
  MatrixShaper() = default;
  // Output channel c gets terms_[c][0][red] + terms_[c][1][green] + terms_[c][2][blue]: each a
  // stored value made linear and weighted by the matrix, in 2.28 fixed point (rounding in the
  // first), so a pixel takes no multiplication.
  int64_t terms_[3][3][256];
  uint8_t out_[3][16385];  // linear output (0 .. 1 << 14) to stored value
};

}  // namespace quendra
