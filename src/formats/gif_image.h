#pragma once
// TGIFImage: GIF via giflib, first frame only (no animation).
#include "formats/graphic.h"

namespace quendra {

class TGIFImage : public TGraphic {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }
  void LoadFromMemory(std::span<const uint8_t> data) override;
  int Width() const override { return image_.Width(); }
  int Height() const override { return image_.Height(); }
  void AssignTo(Bitmap& dst) const override { dst = image_; }
  void HandOver(Bitmap& dst) override {
    dst = std::move(image_);
    image_ = Bitmap();
  }

 private:
  Bitmap image_;  // 8-bit with the frame's palette
};

}  // namespace quendra
