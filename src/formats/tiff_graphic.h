#pragma once
// TTIFFGraphic: TIFF via libtiff, first image, strips or tiles.
#include "formats/format_record.h"
#include "formats/tbitmap.h"

namespace quendra {

class TTIFFGraphic : public TGraphicExGraphic {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }
  void LoadFromMemory(std::span<const uint8_t> data) override;
};

extern const FormatRecord kTiffFormat;

}  // namespace quendra
