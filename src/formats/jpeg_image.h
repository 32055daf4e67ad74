#pragma once
// TJPEGImage: a JPEG file held compressed. The output scale may be set after loading and is
// applied when the bitmap is made; width and height are the size at that scale, so the full size
// until a scale is set.
#include "formats/format_record.h"
#include "formats/reduced_scale.h"

namespace quendra {

struct JpegSource;

class TJPEGImage : public TReducedScaleGraphic {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }

  void LoadFromMemory(std::span<const uint8_t> data) override;
  // Reads only the header now; the file is read again, as it decodes, when a bitmap is made.
  void LoadFromFile(const std::string& path) override;
  int Width() const override { return ScaledWidth(); }
  int Height() const override { return ScaledHeight(); }
  int FullWidth() const override { return width_; }
  int FullHeight() const override { return height_; }
  // Decodes at the current scale into a 24-bit bitmap (rows of blue, green, red).
  void AssignTo(Bitmap& dst) const override;
  void DecodeRows(const std::function<void(int, int)>& begin,
                  const RowFunction& row) const override;

  JpegScale Scale() const override { return scale_; }
  void SetScale(JpegScale s) override;
  // Size the decoder produces at the current scale: each dimension divided and rounded up.
  int ScaledWidth() const;
  int ScaledHeight() const;

 private:
  void ReadHeader(const JpegSource& src);
  // A picture loaded from a file is decoded straight from the file when the bitmap is made, so
  // its compressed bytes are never held; one loaded from memory keeps a copy.
  PixelBuffer data_;
  std::string path_;
  int width_ = 0, height_ = 0;
  JpegScale scale_ = JpegScale::jsFullSize;
};

// Writes a 24- or 32-bit bitmap (others are widened) as a baseline JPEG of the given quality.
std::vector<uint8_t> EncodeJpeg(const Bitmap& bmp, int quality);

extern const FormatRecord kJpegFormat;

}  // namespace quendra
