#pragma once
// TPCXGraphic: ZSoft PCX (also PCC and SCR) pictures, read only. 1-bit, 2-bit, 4-bit (four
// one-bit planes, two one-bit planes or packed), 8-bit and 24-bit (three planes) pictures.
#include "formats/format_record.h"
#include "formats/tbitmap.h"

namespace quendra {

class TPCXGraphic : public TGraphicExGraphic {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }

  // Throws EInvalidGraphic naming "PCX, PCC or SCR" for a foreign or malformed header, and
  // naming "PCX" for plane and bit layouts without a pixel format. Data that ends early loads:
  // the bytes it lacks read as 0 (palette index 0, black in 24-bit pictures).
  void LoadFromMemory(std::span<const uint8_t> data) override;

  // Resolution from the header, dots per inch.
  double XResolution = 0, YResolution = 0;
};

// The 16-colour system palette that version-3 files (no palette information) use.
extern const RGBQuad kSystemPalette16[16];

extern const FormatRecord kPcxFormat;

}  // namespace quendra
