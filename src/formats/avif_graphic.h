#pragma once
// TAvifGraphic: an AVIF file (8 to 12 bits, lossy or lossless, with or without alpha; of a
// sequence the first frame), decoded at load time into the 32-bit bitmap it draws itself as.
// Pictures with alpha have their colours blended over white, as PNG's are, with the alpha kept
// in the fourth byte; opaque ones have a fourth byte of 0. Its rotation and mirror boxes become the
// orientation, its colour profile or colour boxes the colour space.
#include "formats/bitmap_graphic.h"
#include "formats/format_record.h"

namespace quendra {

class TAvifGraphic : public TBitmapGraphic {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }
  void LoadFromMemory(std::span<const uint8_t> data) override;
};

extern const FormatRecord kAvifFormat;

}  // namespace quendra
