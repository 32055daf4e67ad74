#pragma once
// A graphic whose format decodes at 1/2, 1/4 or 1/8 of its full size, as JPEG's DCT scaling
// does. Its format record says so; the loader then picks the scale and streams the rows.
#include <cstdint>
#include <functional>

#include "formats/graphic.h"

namespace quendra {

enum class JpegScale { jsFullSize, jsHalf, jsQuarter, jsEighth };

class TReducedScaleGraphic : public TGraphic {
 public:
  virtual int FullWidth() const = 0;
  virtual int FullHeight() const = 0;
  virtual JpegScale Scale() const = 0;
  // A different scale drops any decoded picture and announces a change (the size changes).
  virtual void SetScale(JpegScale s) = 0;
  // Decodes at the current scale row by row, without holding the picture: begin(width,
  // height) first, then row(blue-green-red bytes, y) for y = 0, 1, ... in order.
  using RowFunction = std::function<void(const uint8_t*, int)>;
  virtual void DecodeRows(const std::function<void(int, int)>& begin,
                          const RowFunction& row) const = 0;
};

}  // namespace quendra
