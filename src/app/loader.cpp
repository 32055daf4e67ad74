#include "app/loader.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>

#include "base/errors.h"
#include "base/row_pipe.h"
#include "formats/format_record.h"
#include "formats/reduced_scale.h"
#include "imaging/colour_management.h"
#include "imaging/orient.h"
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

namespace {

// The fitted size of a stored w x h picture, in stored orientation: the zoomer fits the upright
// picture, and the turn comes after resampling, on the small copy.
struct FittedSize {
  int width, height;
};
FittedSize StoredFit(const TZoomer& img, int w, int h, Orientation o) {
  const bool swap = SwapsSides(o);
  const int uw = swap ? h : w, uh = swap ? w : h;
  const TRect dest = img.DestRectFor(uw, uh);
  const TRect t = FitRect(dest, {0, 0, uw, uh}, dest.Right - dest.Left);
  return swap ? FittedSize{t.Bottom, t.Right} : FittedSize{t.Right, t.Bottom};
}

// Fitted rows take the output colours on the resampler's thread as they are made, once the
// transform (made on a third thread while the decode starts) is ready; rows made before it are
// caught up then. Converted rows are then placed upright a band at a time, so neither the colours
// nor the turn wait for the decode to end; whatever is left then is done after it.
class FittedRows {
 public:
  FittedRows(const ColourSpace& from, std::future<void>& prepared, Orientation o)
      : from_(from), prepared_(prepared), o_(o) {}

  void RowDone(Bitmap& target, int y) {
    if (pending_) {
      if (prepared_.valid() &&
          prepared_.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
      rows_ = OutputColoursForRows(from_);
      pending_ = false;
    }
    if (!rows_) converted_ = y + 1;
    for (; converted_ <= y; ++converted_) rows_(target.Row(converted_), target.Width());
    if (converted_ - placed_ >= kBand) Place(target);
  }

  // After the resampler's thread has ended: the upright picture.
  Bitmap Finish(Bitmap target) {
    if (pending_) {
      if (prepared_.valid()) prepared_.get();
      ConvertToOutputColours(target, from_);  // in two halves at once
      OrientBitmap(target, o_);
      return target;
    }
    for (; rows_ && converted_ < target.Height(); ++converted_)
      rows_(target.Row(converted_), target.Width());
    converted_ = target.Height();
    if (placed_ == 0) {
      OrientBitmap(target, o_);  // nothing placed yet: both cores
      return target;
    }
    Place(target);
    return upright_->Take();
  }

 private:
  static constexpr int kBand = 16;
  void Place(const Bitmap& target) {
    if (o_ == Orientation::Normal) return;
    if (!upright_) upright_.emplace(target.Width(), target.Height(), o_);
    upright_->Place(target, placed_, converted_);
    placed_ = converted_;
  }

  const ColourSpace& from_;
  std::future<void>& prepared_;
  const Orientation o_;
  bool pending_ = true;
  RowColours rows_;
  int converted_ = 0, placed_ = 0;
  std::optional<UprightRows> upright_;
};

// A JPEG decoded at its chosen scale streams row by row into the resampler: the same pixels as
// decoding the whole picture first and resampling it after, without holding the decoded copy.
// From a quarter megapixel up the resampler, and the colours and the turn behind it, work on a
// second thread while the decoder goes on.
Bitmap DecodeFitted(const TReducedScaleGraphic& jpeg, const TZoomer& img, Orientation o,
                    FittedRows& fitted) {
  constexpr int64_t kPipedPixels = 1 << 18;
  std::unique_ptr<StreamResampler> resampler;
  std::unique_ptr<RowPipe> pipe;
  jpeg.DecodeRows(
      [&](int w, int h) {
        const FittedSize t = StoredFit(img, w, h, o);
        resampler = std::make_unique<StreamResampler>(w, h, t.width, t.height);
        if (int64_t(w) * h < kPipedPixels) return;
        resampler->OnTargetRow([&](Bitmap& target, int y) { fitted.RowDone(target, y); });
        pipe = std::make_unique<RowPipe>(
            size_t(w) * 3, [r = resampler.get()](const uint8_t* row) { r->PushRow(row, 3); });
      },
      [&](const uint8_t* row, int) { pipe ? pipe->Push(row) : resampler->PushRow(row, 3); });
  if (pipe) pipe->Finish();
  return fitted.Finish(resampler->Finish());
}

int UprightMax(const TReducedScaleGraphic& g, const TZoomer& img, Orientation o) {
  const TRect r = SwapsSides(o) ? img.DestRectFor(g.FullHeight(), g.FullWidth())
                                : img.DestRectFor(g.FullWidth(), g.FullHeight());
  return std::max(r.Right - r.Left, r.Bottom - r.Top);
}

}  // namespace

void LoadIntoZoomer(TZoomer& img, const std::string& path) {
  img.Picture().LoadFromFile(path);
  FinishLoad(img);
}

// Colours and orientation are applied once, after fitting: on the picture as shown.
void FinishLoad(TZoomer& img) {
  TGraphic& graphic = *img.Picture().Graphic();
  const PictureMetadata meta = graphic.Metadata();  // copied: the graphic goes with the pixels
  const Orientation o = meta.orientation;
  Bitmap working;
  // A profile's transform is made on a second thread while the picture decodes.
  std::future<void> prepared;
  if (meta.colour.Known())
    prepared = std::async(std::launch::async, PrepareOutputColours, std::cref(meta.colour));
  const FormatRecord* record = FindFormatRecord(graphic.Class());
  if (img.Proportional() && record != nullptr && record->decodesAtReducedScale) {
    auto& scaled = static_cast<TReducedScaleGraphic&>(graphic);
    if (SwapsSides(o)) {
      ChooseJpegScale(scaled, UprightMax(scaled, img, o));
    } else {
      // The scale's change of size has the zoomer recompute DestRect for it.
      ChooseJpegScale(scaled, std::max(img.DestWidth(), img.DestHeight()));
    }
    FittedRows rows(meta.colour, prepared, o);
    working = DecodeFitted(scaled, img, o, rows);  // upright
    if (prepared.valid()) prepared.get();
  } else {
    working = ToBitmap32(graphic);
    if (img.Proportional()) {
      const FittedSize t = StoredFit(img, working.Width(), working.Height(), o);
      ResampleHalftone(working, {0, 0, t.width, t.height});
    }
    if (prepared.valid()) prepared.get();
    ConvertToOutputColours(working, meta.colour);
    OrientBitmap(working, o);
  }
  img.Picture().AssignBitmap(std::move(working));
}

}  // namespace quendra
