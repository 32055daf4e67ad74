#pragma once
// One littlecms transform from a picture's colour space to an output profile, working in place
// on a bitmap's pixels (or its palette) and passing the fourth byte of 32-bit pixels through as
// it is, alpha or padding alike.
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "base/bitmap.h"
#include "formats/picture_metadata.h"
#include "imaging/matrix_shaper.h"

namespace quendra {

// Whether the bytes are an RGB profile that pixels can be converted to or from.
bool IsRgbProfile(std::span<const uint8_t> icc);

class ColourTransform {
 public:
  // From `from` (sRGB when it names no space) to the profile `outputIcc` (sRGB when empty, or
  // when it is not a usable RGB profile). Null when the picture's space cannot be honoured: a
  // profile that does not parse, is not RGB, is a link or abstract profile, or primaries that
  // give no transform. Never throws for bad profile bytes.
  static std::unique_ptr<ColourTransform> Create(const ColourSpace& from,
                                                 std::span<const uint8_t> outputIcc);
  ~ColourTransform();
  ColourTransform(const ColourTransform&) = delete;
  ColourTransform& operator=(const ColourTransform&) = delete;

  // Converts the pixels of a 24- or 32-bit bitmap, or the palette of a 1-, 4- or 8-bit one, in
  // place, and the marked transparent colour with them; 15- and 16-bit bitmaps are left alone.
  // Safe to call from several threads at once on the same transform.
  void Apply(Bitmap& b) const;
  // Converts `count` blue-green-red pixels, one every `step` (3 or 4) bytes. Safe from several
  // threads at once.
  void Pixels(uint8_t* p, size_t count, size_t step) const;

 private:
  ColourTransform() = default;

  std::vector<uint8_t> greyLevels_;       // blue, green, red for each level of a grey picture
  std::unique_ptr<MatrixShaper> shaper_;  // when the profiles allow it, else:
  void* handle_ = nullptr;                // cmsHTRANSFORM, kept out of the header
};

}  // namespace quendra
