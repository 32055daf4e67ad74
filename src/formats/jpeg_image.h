#pragma once
// TJPEGImage: a JPEG file held compressed. Width and height are the full size; the output scale
// may be set after loading and is applied when the bitmap is made.
#include "formats/graphic.h"

namespace quendra {

enum class JpegScale { jsFullSize, jsHalf, jsQuarter, jsEighth };

class TJPEGImage : public TGraphic {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }

  void LoadFromMemory(std::span<const uint8_t> data) override;
  // Keeps the file's bytes as read, without a second copy.
  void LoadFromFile(const std::string& path) override;
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  // Decodes at the current scale into a 24-bit bitmap (rows of blue, green, red).
  void AssignTo(Bitmap& dst) const override;

  JpegScale Scale() const { return scale_; }
  // A different scale drops any decoded picture and announces a change.
  void SetScale(JpegScale s);
  // Size the decoder produces at the current scale: each dimension divided and rounded up.
  int ScaledWidth() const;
  int ScaledHeight() const;

 private:
  // Validates the header and keeps the bytes.
  void Adopt(PixelBuffer bytes);
  PixelBuffer data_;
  int width_ = 0, height_ = 0;
  JpegScale scale_ = JpegScale::jsFullSize;
};

// Writes a 24- or 32-bit bitmap (others are widened) as a baseline JPEG of the given quality.
std::vector<uint8_t> EncodeJpeg(const Bitmap& bmp, int quality);

}  // namespace quendra
