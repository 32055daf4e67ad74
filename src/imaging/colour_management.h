#pragma once
// Colours as the file means them: pictures that carry a colour space are converted to the
// output's (the display's profile in the window, sRGB elsewhere). Safe from any thread.
#include <cstdint>
#include <functional>
#include <vector>

#include "base/bitmap.h"
#include "formats/picture_metadata.h"

namespace quendra {

// Converts a bitmap in place from `from` to the output profile, keeping the fourth byte of
// 32-bit pixels (see ColourTransform::Apply for the formats). A picture without a colour space
// is taken as sRGB (untouched while the output is sRGB); one whose profile is broken or not RGB
// (gray, CMYK) is left untouched.
void ConvertToOutputColours(Bitmap& b, const ColourSpace& from);

// Converts one row of `width` 32-bit pixels from `from` to the output profile, as
// ConvertToOutputColours would; empty when the picture needs nothing (or cannot be converted).
using RowColours = std::function<void(uint8_t* row, int width)>;
RowColours OutputColoursForRows(const ColourSpace& from);

// Makes and caches the transform ConvertToOutputColours will want for `from`, so that it can be
// made while the picture is still being decoded.
void PrepareOutputColours(const ColourSpace& from);

// The profile pictures are converted to from now on; empty, or not a usable RGB profile: sRGB.
void SetOutputProfile(std::vector<uint8_t> icc);

}  // namespace quendra
