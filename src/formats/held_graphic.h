#pragma once
// A picture held compressed: loading reads its header and keeps the bytes; the picture is
// decoded when a bitmap or rows are asked for, at the scale set then (1/2, 1/4 or 1/8 for a
// fitted load of a large picture, which then never exists at full size in memory).
#include "base/bitmap.h"
#include "formats/reduced_scale.h"

namespace quendra {

class THeldGraphic : public TReducedScaleGraphic {
 public:
  int Width() const override { return Scaled(width_); }
  int Height() const override { return Scaled(height_); }
  int FullWidth() const override { return width_; }
  int FullHeight() const override { return height_; }
  void AssignTo(Bitmap& dst) const override { dst = Decode(Denominator()); }
  void DecodeRows(const std::function<void(int, int)>& begin,
                  const RowFunction& row) const override;
  JpegScale Scale() const override { return scale_; }
  void SetScale(JpegScale s) override;

 protected:
  // The picture at 1/denom of its size (`Scaled` of each side), 24 or 32 bits a pixel.
  virtual Bitmap Decode(int denom) const = 0;
  // Keeps the file's bytes and its full size, at full scale.
  void Hold(std::span<const uint8_t> data, int width, int height);
  int Scaled(int side) const { return (side + Denominator() - 1) / Denominator(); }
  std::span<const uint8_t> Held() const { return {data_.data(), data_.size()}; }

 private:
  int Denominator() const { return 1 << static_cast<int>(scale_); }
  PixelBuffer data_;
  int width_ = 0, height_ = 0;
  JpegScale scale_ = JpegScale::jsFullSize;
};

}  // namespace quendra
