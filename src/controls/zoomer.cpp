#include "controls/zoomer.h"

#include <algorithm>

#include "formats/metafile.h"

namespace quendra {

TZoomer::TZoomer() : TZoomer(std::make_unique<TPicture>()) {}

TZoomer::TZoomer(std::unique_ptr<TPicture> picture) : picture_(std::move(picture)) {
  picture_->OnChange = [this] { ApplyPictureChange(); };
}

TTNTZoomer::TTNTZoomer() : TZoomer(std::make_unique<TTntPicture>()) {}

void TZoomer::SetPicture(const TPicture& p) {
  if (const TGraphic* g = p.Graphic()) {
    Bitmap b;
    g->AssignTo(b);
    picture_->AssignBitmap(std::move(b));
  } else {
    picture_->SetGraphic(nullptr);
  }
}

// The layout flags share one write rule: a changed value is stored and applied.
void TZoomer::SetFlag(bool& flag, bool v) {
  if (v == flag) return;
  flag = v;
  ApplyPictureChange();
}
void TZoomer::SetCenter(bool v) {
  SetFlag(center_, v);
}
void TZoomer::SetStretch(bool v) {
  SetFlag(stretch_, v);
}
void TZoomer::SetProportional(bool v) {
  SetFlag(proportional_, v);
}
void TZoomer::SetTransparent(bool v) {
  SetFlag(transparent_, v);
}

void TZoomer::SetZoomPercent(int v) {
  zoomPercent_ = v <= 0 ? 5 : v;
  ApplyPictureChange();
  Fire(OnZoomImage);
}

void TZoomer::ScrollHorz(int delta) {
  HorzOffset += delta;
  ApplyPictureChange();
  Fire(OnScrollImage);
}

void TZoomer::ScrollVert(int delta) {
  VertOffset += delta;
  ApplyPictureChange();
  Fire(OnScrollImage);
}

void TZoomer::ResetOffsets() {
  HorzOffset = VertOffset = 0;
  ApplyPictureChange();
  Fire(OnScrollImage);
}

void TZoomer::ResetView() {
  HorzOffset = VertOffset = 0;
  // The rectangle is computed once at this temporary percentage, then 100 is stored silently.
  zoomPercent_ = (100 / zoomPercent_) * 100;
  ApplyPictureChange();
  zoomPercent_ = 100;
  Fire(OnScrollImage);
}

TRect TZoomer::CalcDestRect() {
  const int pw = picture_->Graphic() ? picture_->Width() : 0;
  const int ph = picture_->Graphic() ? picture_->Height() : 0;
  const TRect r = DestRectFor(pw, ph);
  destRect_ = r;
  destWidth_ = r.Right - r.Left;
  destHeight_ = r.Bottom - r.Top;
  Fire(OnResize);
  return r;
}

TRect TZoomer::DestRectFor(int pw, int ph) const {
  const int cw = width_, ch = height_;
  int w = MulDiv(pw, zoomPercent_, 100);
  int h = MulDiv(ph, zoomPercent_, 100);
  if (stretch_ || (proportional_ && (w > cw || h > ch))) {
    if (proportional_ && w > 0 && h > 0) {
      // The aspect is a double; quotients and products are formed in 80-bit extended precision,
      // which decides cases such as 300 * (4/3) = 399.
      const double aspect = double(w) / double(h);
      const long double a = aspect;
      if (w > h) {
        w = cw;
        h = int((long double)cw / a);
        if (h > ch) {
          h = ch;
          w = int((long double)ch * a);
        }
      } else {
        h = ch;
        w = int((long double)ch * a);
        if (w > cw) {
          w = cw;
          h = int((long double)cw / a);
        }
      }
      // A very thin picture keeps a visible side on a display that has any: at least a pixel.
      if (cw > 0 && ch > 0) w = std::max(w, 1), h = std::max(h, 1);
    } else {
      w = cw;
      h = ch;
    }
  }
  TRect r{0, 0, w, h};
  if (center_) {
    int dx = (cw - w) / 2, dy = (ch - h) / 2;
    r = {r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy};
  }
  return {r.Left + HorzOffset, r.Top + VertOffset, r.Right + HorzOffset, r.Bottom + VertOffset};
}

static bool IsMetafileOrIcon(const TGraphic& g) {
  return g.Class().InheritsFrom(&TMetafile::kClass) || g.Class().InheritsFrom(&kTIconClass);
}

void TZoomer::ApplyPictureChange() {
  if (TGraphic* g = picture_->Graphic()) {
    if (!IsMetafileOrIcon(*g)) g->SetTransparent(transparent_);
    TRect r = CalcDestRect();
    opaque_ =
        !g->Transparent() && r.Left <= 0 && r.Top <= 0 && r.Right >= width_ && r.Bottom >= height_;
    // A palette change would be realised here; true-colour displays never have one.
    (void)RealizePaletteChange();
  } else {
    opaque_ = false;
  }
  if (!painting_) Fire(OnInvalidate);
}

bool TZoomer::RealizePaletteChange() {
  TGraphic* g = picture_->Graphic();
  if (!g || !g->PaletteModified) return false;
  g->PaletteModified = false;
  return false;
}

void TZoomer::SetClientSize(int w, int h) {
  width_ = w;
  height_ = h;
}

void TZoomer::Paint(const std::function<void(const TRect&)>& draw) {
  const bool saved = painting_;
  painting_ = true;
  struct Restore {
    bool& flag;
    bool value;
    ~Restore() { flag = value; }
  } restore{painting_, saved};
  TRect r = CalcDestRect();
  if (picture_->Graphic() && draw) draw(r);
}

}  // namespace quendra
