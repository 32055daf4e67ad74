#pragma once
// TPNGObject: PNG via libpng. Renders itself into the bitmap after choosing its pixel format:
// 1 bit for 1-bit pictures, 4 bits for 2- and 4-bit, 8 bits for 8-bit palette pictures, 24 bits
// for everything else and for every picture with alpha (alpha blended while drawing). A
// single-colour transparency marks the bitmap transparent with that colour.
#include "formats/bitmap_graphic.h"
#include "formats/format_record.h"

namespace quendra {

class TPNGObject : public TBitmapGraphic {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }
  void LoadFromMemory(std::span<const uint8_t> data) override;
};

// The PNG file of the bitmap, written by the PNG writer (png_writer.h).
std::vector<uint8_t> EncodePng(const Bitmap& bmp);

extern const FormatRecord kPngFormat;

}  // namespace quendra
