#pragma once
// The holding body shared by every graphic that keeps its picture as a decoded bitmap in the
// picture's own pixel format.
#include "formats/graphic.h"

namespace quendra {

class TBitmapGraphic : public TGraphic {
 public:
  int Width() const override { return image_.Width(); }
  int Height() const override { return image_.Height(); }
  void AssignTo(Bitmap& dst) const override { dst = image_; }
  void HandOver(Bitmap& dst) override {
    dst = std::move(image_);
    image_ = Bitmap();
  }

 protected:
  Bitmap image_;
};

}  // namespace quendra
