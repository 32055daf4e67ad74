#pragma once
// TZoomer: a windowless picture control. It owns one picture and computes where, and how large,
// the picture is drawn from the picture's size, ZoomPercent, Stretch, Proportional, Center and
// the two offsets. Drawing itself is the front end's: it asks Paint() for the rectangle and
// draws the picture's bitmap into it without filtering. No state here is touched off the main
// thread.
#include <functional>
#include <memory>

#include "base/geometry.h"
#include "formats/picture.h"

namespace quendra {

class TZoomer {
 public:
  TZoomer();
  virtual ~TZoomer() = default;
  TZoomer(const TZoomer&) = delete;
  TZoomer& operator=(const TZoomer&) = delete;

  TPicture& Picture() { return *picture_; }
  const TPicture& Picture() const { return *picture_; }
  // Copies the given picture's graphic into the owned picture (which is never replaced).
  void SetPicture(const TPicture& p);

  bool Center() const { return center_; }
  bool Stretch() const { return stretch_; }
  bool Proportional() const { return proportional_; }
  bool Transparent() const { return transparent_; }
  void SetCenter(bool v);
  void SetStretch(bool v);
  void SetProportional(bool v);
  void SetTransparent(bool v);
  bool IncrementalDisplay = false;
  // Stored only: the viewer's zoomer is aligned to the client area, so the layout, not the
  // picture, decides its size.
  bool AutoSize = false;

  // Plain stores: the picture moves only at the next computation.
  int HorzOffset = 0, VertOffset = 0;

  int ZoomPercent() const { return zoomPercent_; }
  // Stores (a value <= 0 becomes 5), recomputes, fires OnZoomImage; also when unchanged.
  void SetZoomPercent(int v);

  void ScrollHorz(int delta);
  void ScrollVert(int delta);
  void ResetOffsets();
  void ResetView();
  void ZoomBy(int delta) { SetZoomPercent(zoomPercent_ + delta); }

  TRect CalcDestRect();
  // The rectangle CalcDestRect would give a picture of pw x ph, without storing it.
  TRect DestRectFor(int pw, int ph) const;
  const TRect& DestRect() const { return destRect_; }
  int DestWidth() const { return destWidth_; }
  int DestHeight() const { return destHeight_; }

  // The control's client size, kept up to date by the layout.
  int ClientWidth() const { return width_; }
  int ClientHeight() const { return height_; }
  void SetClientSize(int w, int h);

  bool Painting() const { return painting_; }
  bool Opaque() const { return opaque_; }
  // Schedules a repaint.
  void Invalidate() { Fire(OnInvalidate); }
  // Runs a paint: computes the rectangle and calls draw(rect) unless there is no graphic.
  void Paint(const std::function<void(const TRect&)>& draw);

  // After a change of picture, layout flag, zoom or offsets.
  void ApplyPictureChange();

  // Palette realisation: on a true-colour display there is never a palette to realise, so this
  // only clears a graphic's modified flag and answers false.
  bool RealizePaletteChange();

  std::function<void()> OnResize, OnZoomImage, OnScrollImage;
  // Schedules a repaint of the control (the front end's invalidate).
  std::function<void()> OnInvalidate;

 protected:
  explicit TZoomer(std::unique_ptr<TPicture> picture);

 private:
  void SetFlag(bool& flag, bool v);
  void Fire(const std::function<void()>& f) {
    if (f) f();
  }

  std::unique_ptr<TPicture> picture_;
  bool center_ = false, stretch_ = false, proportional_ = false, transparent_ = false;
  int zoomPercent_ = 100;
  TRect destRect_{};
  int destWidth_ = 0, destHeight_ = 0;
  int width_ = 105, height_ = 105;
  bool painting_ = false, opaque_ = false;
};

// The zoomer with the wide-path picture container.
class TTNTZoomer : public TZoomer {
 public:
  TTNTZoomer();
  TTntPicture& Picture() { return static_cast<TTntPicture&>(TZoomer::Picture()); }
};

}  // namespace quendra
