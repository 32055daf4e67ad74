#pragma once
// TAvifGraphic: an AVIF file (8 to 12 bits, lossy or lossless, with or without alpha; of a
// sequence the first frame), held compressed and decoded into a 32-bit bitmap when one is asked
// for; at a reduced scale its 8-bit planes are reduced before their colours are converted.
// Pictures with alpha have their colours blended over white, as PNG's are, with the alpha kept
// in the fourth byte; opaque ones have a fourth byte of 0. Its rotation and mirror boxes become the
// orientation, its colour profile or colour boxes the colour space.
#include "formats/format_record.h"
#include "formats/held_graphic.h"

namespace quendra {

class TAvifGraphic : public THeldGraphic {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }
  // Parses the container (size, orientation, colour space) and keeps the bytes.
  void LoadFromMemory(std::span<const uint8_t> data) override;

 private:
  Bitmap Decode(int denom) const override;
};

extern const FormatRecord kAvifFormat;

}  // namespace quendra
