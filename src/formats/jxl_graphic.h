#pragma once
// TJxlGraphic: JPEG XL over libjxl. The first frame (of an animation, the first frame as shown)
// is decoded once at load time straight into a 32-bit bitmap, alpha in the fourth byte (255
// where the file has none). libjxl turns the picture upright itself, so its orientation is
// reported as stored.
#include "formats/bitmap_graphic.h"
#include "formats/format_record.h"

namespace quendra {

class TJxlGraphic : public TBitmapGraphic {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }
  void LoadFromMemory(std::span<const uint8_t> data) override;
};

extern const FormatRecord kJxlFormat;

}  // namespace quendra
