#pragma once
// TTargaGraphic: Truevision Targa pictures, read (image types 1, 2, 3 stored, 9, 10, 11
// run-length; 8, 15, 16, 24 and 32-bit pixels) and written run-length encoded.
#include "formats/format_record.h"
#include "formats/tbitmap.h"

namespace quendra {

class TTargaGraphic : public TGraphicExGraphic {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }

  // Throws EInvalidGraphic for truncated data, unsupported pixel or colour-map entry sizes and
  // empty or oversized pictures; never reads past data.
  void LoadFromMemory(std::span<const uint8_t> data) override;

  // The file bytes of the held picture (see EncodeTarga); 1- and 4-bit pictures are widened to
  // 8 bits in place first.
  std::vector<uint8_t> SaveToMemory(bool compressed = true);
};

// A Targa file of the bitmap: image type 9 (8-bit, with a 256-entry 24-bit colour map) or 10,
// descriptor 0x20 (top row first), each row encoded by itself. compressed = false writes stored
// rows (types 1 and 2) instead. 1- and 4-bit pictures are written as 8-bit ones, 5-6-5 pixels as
// 5-5-5 ones. An empty picture gives no bytes at all.
// WriteTarga hands the same bytes to the sink a batch of rows at a time.
std::vector<uint8_t> EncodeTarga(const Bitmap& bmp, bool compressed = true);
void WriteTarga(const Bitmap& bmp, bool compressed, const ByteSink& sink);

extern const FormatRecord kTargaFormat;

}  // namespace quendra
