#pragma once
// TMetafile and TIcon: registered so that the format table is complete. An enhanced metafile
// whose drawing is made only of bitmap records (EMR_STRETCHDIBITS, EMR_SETDIBITSTODEVICE,
// EMR_BITBLT, EMR_STRETCHBLT with a source bitmap, copied as they are) becomes a bitmap of the
// header's bounds; one with any vector record (lines, text, fills, mapping modes) keeps its size
// but cannot become a bitmap, so showing it takes the loader's failure path.
#include <optional>

#include "formats/format_record.h"
#include "formats/graphic.h"

namespace quendra {

class TMetafile : public TGraphic {
 public:
  // Pixels the bitmap records may draw in all (after clipping to the picture): twice a picture
  // at the pixel limit. A drawing that would take more is refused before its canvas is made.
  static constexpr uint64_t kMaxDrawnPixels = 2 * uint64_t(kMaxPixels);
  static const GraphicClass kClass;
  const GraphicClass& Class() const override { return kClass; }
  void LoadFromMemory(std::span<const uint8_t> data) override;
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  // The drawing when it is made of bitmaps only, else "Cannot assign a TMetafile to a TBitmap".
  void AssignTo(Bitmap& dst) const override;
  void HandOver(Bitmap& dst) override;
  bool Renderable() const { return image_.has_value(); }

 private:
  int width_ = 0, height_ = 0;
  std::optional<Bitmap> image_;
};

// Classes of the general format module that this program never loads through (their
// extensions are outside the file filter); they have no reader in this build.
extern const GraphicClass kTIconClass;
extern const GraphicClass kTEPSGraphicClass, kTRLAGraphicClass, kTSGIGraphicClass,
    kTPSDGraphicClass, kTPPMGraphicClass, kTAutodeskGraphicClass, kTPCDGraphicClass,
    kTGIFGraphicClass, kTCUTGraphicClass, kTPSPGraphicClass, kTPNGGraphicClass, kTGEDGraphicClass;

extern const FormatRecord kEmfFormat;

}  // namespace quendra
