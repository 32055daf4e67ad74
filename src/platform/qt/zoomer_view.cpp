#include "platform/qt/zoomer_view.h"

#include <QMouseEvent>
#include <QPainter>

#include "formats/tbitmap.h"
#include "platform/qt/key_map.h"

namespace quendra::qt {

ZoomerView::ZoomerView(TForm1& form, QWidget* parent) : QWidget(parent), form_(form) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  form_.IMG.OnInvalidate = [this] { update(); };
}

// The picture's bitmap as a QImage; a 32-bit bitmap is wrapped without copying. Rebuilt only
// when the picture changed, so painting allocates nothing.
const QImage& ZoomerView::Image() {
  TPicture& pic = form_.IMG.Picture();
  auto* tb = dynamic_cast<TBitmap*>(pic.Graphic());
  if (!tb) {
    image_ = QImage();
    imageFor_ = nullptr;
    return image_;
  }
  if (imageFor_ == tb && imageVersion_ == pic.Version()) return image_;
  const Bitmap* b = &tb->Image();
  if (b->Format() != PixelFormat::pf32bit) {
    converted_ = b->To32();
    b = &converted_;
  }
  image_ = QImage(b->Row(0), b->Width(), b->Height(), qsizetype(b->Stride()), QImage::Format_RGB32);
  imageFor_ = tb;
  imageVersion_ = pic.Version();
  return image_;
}

void ZoomerView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  if (held_) return;
  p.setRenderHint(QPainter::SmoothPixmapTransform, false);
  form_.IMG.Paint([&](const TRect& r) {
    const QImage& img = Image();
    if (!img.isNull()) p.drawImage(QRect(r.Left, r.Top, r.Width(), r.Height()), img);
  });
}

void ZoomerView::resizeEvent(QResizeEvent*) {
  form_.IMG.SetClientSize(width(), height());
  form_.Guarded([&] { form_.FormResize(); });
}

static MouseButton ButtonOf(Qt::MouseButton b) {
  return b == Qt::LeftButton    ? MouseButton::mbLeft
         : b == Qt::RightButton ? MouseButton::mbRight
                                : MouseButton::mbMiddle;
}

void ZoomerView::mousePressEvent(QMouseEvent* e) {
  QPoint pt = e->position().toPoint();
  form_.Guarded([&] {
    form_.IMGMouseDown(ButtonOf(e->button()), ShiftOf(e->modifiers(), e->buttons()), pt.x(),
                       pt.y());
  });
}

void ZoomerView::mouseMoveEvent(QMouseEvent* e) {
  QPoint pt = e->position().toPoint();
  form_.Guarded([&] { form_.IMGMouseMove(ShiftOf(e->modifiers(), e->buttons()), pt.x(), pt.y()); });
}

void ZoomerView::mouseReleaseEvent(QMouseEvent* e) {
  QPoint pt = e->position().toPoint();
  form_.Guarded([&] {
    form_.IMGMouseUp(ButtonOf(e->button()), ShiftOf(e->modifiers(), e->buttons()), pt.x(), pt.y());
  });
}

}  // namespace quendra::qt
