#pragma once
// TWebPGraphic: a WebP file (lossy, lossless, with or without alpha; of an animation the first
// frame on its canvas) held compressed. Only the container is read at load time; the picture is
// decoded when a bitmap is made, at 1/2, 1/4 or 1/8 of its size when a scale is set, the way
// JPEG decodes. Opaque pictures become 24-bit bitmaps; pictures with alpha become 32-bit ones
// whose colours are blended over white, as PNG's are, with the alpha kept in the fourth byte.
#include "formats/format_record.h"
#include "formats/held_graphic.h"

namespace quendra {

class TWebPGraphic : public THeldGraphic {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }
  // Reads the container, its orientation and its colour profile, and keeps the bytes.
  void LoadFromMemory(std::span<const uint8_t> data) override;

 private:
  Bitmap Decode(int denom) const override;
};

extern const FormatRecord kWebpFormat;

}  // namespace quendra
