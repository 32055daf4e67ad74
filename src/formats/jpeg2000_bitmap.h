#pragma once
// TJpeg2000Bitmap: JPEG 2000 over OpenJPEG; JP2 files and J2K codestreams told apart by content.
#include "formats/tbitmap.h"

namespace quendra {

class TJpeg2000Bitmap : public TBitmap {
 public:
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }
  void LoadFromMemory(std::span<const uint8_t> data) override;
};

}  // namespace quendra
