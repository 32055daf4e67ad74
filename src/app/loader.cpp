#include "app/loader.h"

#include <algorithm>
#include <memory>

#include "base/errors.h"
#include "formats/format_record.h"
#include "formats/reduced_scale.h"
#include "imaging/resample.h"

namespace quendra {

void ChooseJpegScale(TReducedScaleGraphic& jpeg, int displayMax) {
  if (displayMax == 0) throw EInvalidGraphic("The display area has no size");
  int ratio = std::max(jpeg.FullWidth(), jpeg.FullHeight()) / displayMax;
  JpegScale s = ratio <= 1   ? JpegScale::jsFullSize
                : ratio <= 3 ? JpegScale::jsHalf
                : ratio <= 7 ? JpegScale::jsQuarter
                             : JpegScale::jsEighth;
  jpeg.SetScale(s);
}

// A JPEG decoded at its chosen scale streams row by row into the resampler: the same pixels as
// decoding the whole picture first and resampling it after, without holding the decoded copy.
static Bitmap DecodeFitted(const TReducedScaleGraphic& jpeg, const TZoomer& img) {
  std::unique_ptr<StreamResampler> resampler;
  jpeg.DecodeRows(
      [&](int w, int h) {
        TRect target = FitRect(img.DestRect(), {0, 0, w, h}, img.DestWidth());
        resampler = std::make_unique<StreamResampler>(w, h, target.Right, target.Bottom);
      },
      [&](const uint8_t* row, int) { resampler->PushRow(row, 3); });
  return resampler->Finish();
}

void LoadIntoZoomer(TZoomer& img, const std::string& path) {
  img.Picture().LoadFromFile(path);
  FinishLoad(img);
}

void FinishLoad(TZoomer& img) {
  TGraphic& graphic = *img.Picture().Graphic();
  Bitmap working;
  if (img.Proportional()) {
    const FormatRecord* record = FindFormatRecord(graphic.Class());
    if (record != nullptr && record->decodesAtReducedScale) {
      auto& scaled = static_cast<TReducedScaleGraphic&>(graphic);
      // A new scale changes the graphic's size, so the zoomer has recomputed DestRect for it.
      ChooseJpegScale(scaled, std::max(img.DestWidth(), img.DestHeight()));
      working = DecodeFitted(scaled, img);
      img.Picture().AssignBitmap(std::move(working));
      return;
    }
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
