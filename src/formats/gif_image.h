#pragma once
// TGIFImage: GIF via giflib, first frame only (no animation).
#include "formats/bitmap_graphic.h"
#include "formats/format_record.h"

namespace quendra {

class TGIFImage : public TBitmapGraphic {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }
  void LoadFromMemory(std::span<const uint8_t> data) override;
};

extern const FormatRecord kGifFormat;

}  // namespace quendra
