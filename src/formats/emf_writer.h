#pragma once
// The EMF writer: an enhanced metafile of three records, the header, one EMR_STRETCHDIBITS that
// draws the picture as a device-independent bitmap at (0, 0) in its own size and pixel format,
// and the end-of-file record.
//
// Reference device: 1920 x 1440 pixels at 96 dots per inch (508 x 381 mm). The header's bounds
// are the picture in pixels, its frame the same rectangle in 0.01 mm at 96 dpi (inclusive, as
// the format counts), so a reader that sizes by the frame gets the picture's size back.
#include <cstdint>
#include <vector>

#include "base/bitmap.h"
#include "formats/tbitmap.h"

namespace quendra {

inline constexpr int kEmfReferenceDpi = 96;
inline constexpr uint32_t EMR_HEADER = 1, EMR_EOF = 14, EMR_BITBLT = 76, EMR_STRETCHBLT = 77,
                          EMR_SETDIBITSTODEVICE = 80, EMR_STRETCHDIBITS = 81;

// Throws EInvalidGraphic for an empty picture. WriteEmf streams the rows to the sink as they
// are, so it needs no memory beyond the bitmap.
std::vector<uint8_t> EncodeEmf(const Bitmap& bmp);
void WriteEmf(const Bitmap& bmp, const ByteSink& sink);

}  // namespace quendra
