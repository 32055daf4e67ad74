#pragma once
// TPCXGraphic: PCX, PCC and SCR files, read only.
#include "formats/tbitmap.h"

namespace quendra {

class TPCXGraphic : public TGraphicExGraphic {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }
  void LoadFromMemory(std::span<const uint8_t> data) override;
};

}  // namespace quendra
