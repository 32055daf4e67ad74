#pragma once
// TBitmap: a graphic that is a bitmap. Reads BMP files; the base of every reader that produces a
// bitmap of its own (TGraphicExGraphic, TJpeg2000Bitmap).
#include "base/byte_sink.h"
#include "formats/bitmap_graphic.h"
#include "formats/format_record.h"

namespace quendra {

class TBitmap : public TBitmapGraphic {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }

  void LoadFromMemory(std::span<const uint8_t> data) override;  // BMP file
  bool Transparent() const override { return image_.Transparent; }
  void SetTransparent(bool v) override { image_.Transparent = v; }

  Bitmap& Image() { return image_; }
  const Bitmap& Image() const { return image_; }
  void SetImage(Bitmap b) { image_ = std::move(b); }
};

// Base of the general format module's readers (Targa, TIFF, PCX): bitmaps of their own.
class TGraphicExGraphic : public TBitmap {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }
};

// BMP codec: every variant users meet (1/4/8/16/24/32 bits, RLE4/RLE8, bit fields, top-down
// rows, the old core header). Throws EInvalidGraphic on bad or truncated input.
Bitmap DecodeBmp(std::span<const uint8_t> data);
// Writes the bitmap in its own pixel format (palette included for 1, 4 and 8 bits).
std::vector<uint8_t> EncodeBmp(const Bitmap& bmp);
// The same, handed to a sink piece by piece (header, then each row), so large pictures stream.
void WriteBmp(const Bitmap& bmp, const ByteSink& sink);

extern const FormatRecord kBmpFormat;

}  // namespace quendra
