#pragma once
// Colours as the file means them: pictures that carry a colour space are converted to the
// output's (the display's profile in the window, sRGB elsewhere). Safe from any thread.
#include <cstdint>
#include <vector>

#include "base/bitmap.h"
#include "formats/picture_metadata.h"

namespace quendra {

// Converts a 32-bit bitmap in place from `from` to the output profile. Nothing happens for a
// picture without a colour space (taken as sRGB) or with a broken profile.
void ConvertToOutputColours(Bitmap& b, const ColourSpace& from);

// The profile pictures are converted to from now on; empty: sRGB.
void SetOutputProfile(std::vector<uint8_t> icc);

}  // namespace quendra
