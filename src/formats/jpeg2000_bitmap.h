#pragma once
// TJpeg2000Bitmap: JPEG 2000 over OpenJPEG. JP2 files and raw J2K codestreams are told apart by
// their first bytes, never by the file's name; saving always writes a JP2 file.
#include <stdexcept>

#include "formats/format_record.h"
#include "formats/tbitmap.h"

namespace quendra {

// Every failure of the adapter: "Unknown JPEG 2000 file type", "JPEG 2000 image decoding
// failed", "Failed to create JPEG 2000 image struct for saving", "JPEG 2000 image encoding
// failed". Pictures beyond the pixel limit fail as EInvalidGraphic before anything is decoded.
struct EJpeg2000Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class TJpeg2000Bitmap : public TBitmap {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }

  // 3 components give a 24-bit bitmap, 4 a 32-bit one (alpha in the fourth byte), any other
  // count an 8-bit grey bitmap of the first component.
  void LoadFromMemory(std::span<const uint8_t> data) override;
  // The JP2 file of the held picture with the settings below.
  std::vector<uint8_t> SaveToMemory() const;

  bool Lossless = false;
  uint8_t Quality = 80;  // 0 to 100
};

// A JP2 file of the bitmap: 3 components (red, green, blue) or 4 with alpha from the fourth byte
// of 32-bit pixels, 8 bits each, one quality layer, rate-driven at Jpeg2000Ratio (0 when
// lossless). Pictures of another pixel format are written from a 24-bit copy.
// The codec sees one tile (at most 1024 x 1024) at a time: memory beyond the bitmap is a tile's
// and the encoded file's.
std::vector<uint8_t> EncodeJpeg2000(const Bitmap& bmp, int quality, bool lossless);
void WriteJpeg2000(const Bitmap& bmp, int quality, bool lossless, const ByteSink& sink);

// The compression ratio for pixels × components samples, in single precision:
// N / (N × 100 / (115 − quality)² + 550 + 142 × (components − 1)).
float Jpeg2000Ratio(int64_t samples, int components, int quality);

extern const FormatRecord kJpeg2000Format;

}  // namespace quendra
