#pragma once
// The PNG writer: our own chunk layout over libdeflate. IHDR, PLTE (palette pictures only), tRNS
// (only when the bitmap is transparent), IDAT chunks of 65535 bytes (the last shorter), IEND.
// 1-, 4- and 8-bit bitmaps become palette pictures at their own depth (the palette padded to the
// depth's full size, so every index a pixel can hold has an entry); deeper ones 8-bit RGB.
// Pictures of more than 256 MiB of filtered rows stream through zlib in bands (same rows, same
// chunks; only the compressor differs), so they cost little memory beyond the bitmap.
#include <cstdint>
#include <vector>

#include "formats/tbitmap.h"

namespace quendra {

inline constexpr int kPngDeflateLevel = 8;
inline constexpr size_t kPngIdatSize = 65535;

// The rows as PNG filters them: each row its filter-type byte (0 None, 1 Sub, 2 Up) and the
// filtered bytes. Per row, Sub and Up are scored by how many bytes j (2 <= j < row bytes) equal
// byte j-1 or j-2 of the same filtered row; the strictly higher score wins (Sub on a tie), and a
// row where both score 0 is written unfiltered.
std::vector<uint8_t> PngFilteredRows(const Bitmap& bmp);

// The whole file, handed to the sink chunk by chunk. Throws EInvalidGraphic for an empty bitmap.
void WritePng(const Bitmap& bmp, const ByteSink& sink);

}  // namespace quendra
