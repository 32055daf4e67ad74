#pragma once
// The GIF writer: one image over giflib. 1-, 4- and 8-bit bitmaps keep their own palette in its
// own order (padded with black to 2, 16 or 256 entries); deeper ones are reduced to the octree
// palette with stock colours at both ends (octree_quantizer.h), each pixel taking its nearest
// entry without dithering. A transparent bitmap marks the entry of its transparent colour.
#include <cstdint>
#include <vector>

#include "base/bitmap.h"

namespace quendra {

// Throws EInvalidGraphic for an empty picture or one wider or higher than 65535 pixels.
std::vector<uint8_t> EncodeGif(const Bitmap& bmp);

}  // namespace quendra
