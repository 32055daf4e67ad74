#pragma once
// THeifGraphic: HEIF/HEIC over libheif (HEVC through libde265). The primary image is decoded
// once at load time to a 32-bit bitmap, alpha in the fourth byte (255 where the file has none).
// libheif applies the file's rotation, mirroring and crop itself, so the picture comes out
// upright and its orientation is reported as stored; an EXIF orientation inside is not applied
// again.
#include "formats/bitmap_graphic.h"
#include "formats/format_record.h"

namespace quendra {

class THeifGraphic : public TBitmapGraphic {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }
  void LoadFromMemory(std::span<const uint8_t> data) override;
};

extern const FormatRecord kHeifFormat;

}  // namespace quendra
