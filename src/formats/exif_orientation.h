#pragma once
// The one EXIF tag the viewer honours: the orientation in the first image directory.
#include <cstdint>
#include <span>

#include "formats/picture_metadata.h"

namespace quendra {

// Reads the Orientation tag from an EXIF block: a TIFF structure, with or without the
// "Exif\0\0" prefix of JPEG's APP1 segment. Anything missing, out of bounds or malformed gives
// Normal. Only the first directory is read, so no offset is ever followed twice.
Orientation ExifOrientation(std::span<const uint8_t> exif);

}  // namespace quendra
