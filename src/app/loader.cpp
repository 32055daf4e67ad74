#include "app/loader.h"

#include <algorithm>

#include "formats/graphic_error.h"
#include "formats/jpeg_image.h"
#include "imaging/resample.h"

namespace quendra {

void ChooseJpegScale(TJPEGImage& jpeg, int displayMax) {
  if (displayMax == 0) throw EInvalidGraphic("The display area has no size");
  int ratio = std::max(jpeg.Width(), jpeg.Height()) / displayMax;
  JpegScale s = ratio <= 1   ? JpegScale::jsFullSize
                : ratio <= 3 ? JpegScale::jsHalf
                : ratio <= 7 ? JpegScale::jsQuarter
                             : JpegScale::jsEighth;
  jpeg.SetScale(s);
}

void LoadIntoZoomer(TZoomer& img, const std::string& path) {
  img.Picture().LoadFromFile(path);
  TGraphic& graphic = *img.Picture().Graphic();
  Bitmap working;
  if (img.Proportional()) {
    if (auto* jpeg = dynamic_cast<TJPEGImage*>(&graphic))
      ChooseJpegScale(*jpeg, std::max(img.DestWidth(), img.DestHeight()));
    working = ToBitmap32(graphic);
    TRect target =
        FitRect(img.DestRect(), {0, 0, working.Width(), working.Height()}, img.DestWidth());
    ResampleHalftone(working, target);
  } else {
    working = ToBitmap32(graphic);
  }
  img.Picture().AssignBitmap(std::move(working));
}

}  // namespace quendra
