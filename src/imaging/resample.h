#pragma once
// Area-averaging resampling and the small bitmap helpers the loader builds on.
#include "base/bitmap.h"
#include "base/geometry.h"
#include "formats/graphic.h"

#include <functional>
#include <memory>

namespace quendra {

// A new empty 32-bit bitmap of that size.
Bitmap NewBitmap32(int width, int height);
// The graphic's pixels as a bitmap in the graphic's own pixel format (the graphic may give up
// its pixels: it is about to be replaced).
Bitmap ToBitmap32(TGraphic& graphic);
// Target rectangle (always at 0, 0) for a source of the given rectangle shown at width.
TRect FitRect(const TRect& dest, const TRect& source, int width);
// Replaces the bitmap by a 32-bit copy of size rect.Right x rect.Bottom, each target pixel the
// area-weighted average of the source pixels it covers (fourth byte 0).
void ResampleHalftone(Bitmap& bitmap, const TRect& rect);
// The same into a new bitmap, leaving the source alone.
Bitmap Resampled(const Bitmap& src, int width, int height);

// The same resampling fed one source row at a time, top to bottom, so a decoder can stream into
// it without the whole source picture in memory. Rows are blue, green, red (3 bytes per pixel)
// or blue, green, red, x (4 bytes).
class StreamResampler {
 public:
  StreamResampler(int srcWidth, int srcHeight, int width, int height);
  ~StreamResampler();
  void PushRow(const uint8_t* row, int bytesPerPixel);
  // Called, on the pushing thread, with the target and each of its rows as it is completed.
  void OnTargetRow(std::function<void(Bitmap& target, int y)> done) { done_ = std::move(done); }
  // The target picture; source rows that never arrived count as black.
  Bitmap Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
  int srcWidth_, srcHeight_;
  Bitmap dst_;
  std::function<void(Bitmap&, int)> done_;
};

}  // namespace quendra
