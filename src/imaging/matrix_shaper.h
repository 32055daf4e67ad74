#pragma once
// The fast path for the common case: both profiles are three curves and a matrix (sRGB, Adobe
// RGB, ProPhoto, Display P3, primaries with a gamma). Such a pair composes into one 8-bit
// pipeline, curve - matrix - curve, in the same fixed-point steps littlecms takes for it, so the
// pixels come out identical, without littlecms's per-pixel unpacking and packing.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

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
  template <typename Term>
  void ApplyWith(const Term* terms, uint8_t* pixels, size_t count, size_t step) const;

  // Output channel c gets term [c][0][red] + [c][1][green] + [c][2][blue]: each a stored value
  // made linear and weighted by the matrix, in 2.28 fixed point (rounding in the first), so a
  // pixel takes no multiplication. Held in 32 bits when every sum fits, which keeps the tables
  // a pixel reads within the first-level cache; else in 64.
  std::vector<int32_t> narrow_;
  std::vector<int64_t> wide_;
  uint8_t out_[3][16385];  // linear output (0 .. 1 << 14) to stored value
  int shown_[3];           // each channel's row of out_: channels with one curve share one
};

}  // namespace quendra
