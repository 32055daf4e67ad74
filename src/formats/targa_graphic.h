#pragma once
// TTargaGraphic: Targa read (types 1, 2, 3, 9, 10, 11) and run-length write.
#include "formats/tbitmap.h"

namespace quendra {

class TTargaGraphic : public TGraphicExGraphic {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }
  void LoadFromMemory(std::span<const uint8_t> data) override;
};

std::vector<uint8_t> EncodeTarga(const Bitmap& bmp);

}  // namespace quendra
