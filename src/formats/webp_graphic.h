#pragma once
// TWebPGraphic: a WebP file (lossy, lossless, with or without alpha; of an animation the first
// frame on its canvas) held compressed. Only the container is read at load time; the picture is
// decoded when a bitmap is made, at 1/2, 1/4 or 1/8 of its size when a scale is set, the way
// JPEG decodes. Opaque pictures become 24-bit bitmaps; pictures with alpha become 32-bit ones
// whose colours are blended over white, as PNG's are, with the alpha kept in the fourth byte.
#include "formats/format_record.h"
#include "formats/reduced_scale.h"

namespace quendra {

class TWebPGraphic : public TReducedScaleGraphic {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }

  // Reads the container, its orientation and its colour profile, and keeps the bytes.
  void LoadFromMemory(std::span<const uint8_t> data) override;
  int Width() const override { return Scaled(width_); }
  int Height() const override { return Scaled(height_); }
  int FullWidth() const override { return width_; }
  int FullHeight() const override { return height_; }
  void AssignTo(Bitmap& dst) const override;
  void DecodeRows(const std::function<void(int, int)>& begin,
                  const RowFunction& row) const override;
  JpegScale Scale() const override { return scale_; }
  void SetScale(JpegScale s) override;

 private:
  int Scaled(int side) const;
  PixelBuffer data_;
  int width_ = 0, height_ = 0;
  JpegScale scale_ = JpegScale::jsFullSize;
};

extern const FormatRecord kWebpFormat;

}  // namespace quendra
