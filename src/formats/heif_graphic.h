#pragma once
// THeifGraphic: HEIF/HEIC over libheif (HEVC through libde265). The file is held compressed and
// its primary image decoded to a 32-bit bitmap when one is asked for, alpha in the fourth byte
// (255 where the file has none); at a reduced scale its 8-bit planes are reduced before their
// colours are converted.
// libheif applies the file's rotation, mirroring and crop itself, so the picture comes out
// upright and its orientation is reported as stored; an EXIF orientation inside is not applied
// again.
#include "formats/format_record.h"
#include "formats/held_graphic.h"

namespace quendra {

class THeifGraphic : public THeldGraphic {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }
  // Parses the file, checks its primary image and reads its colour space; keeps the bytes.
  void LoadFromMemory(std::span<const uint8_t> data) override;

 private:
  Bitmap Decode(int denom) const override;
};

extern const FormatRecord kHeifFormat;

}  // namespace quendra
