#include "platform/qt/zoomer_view.h"

#include <QMouseEvent>
#include <QPainter>

#include "formats/tbitmap.h"
#include "platform/qt/key_map.h"
#include "platform/qt/platform_choice.h"

namespace quendra::qt {

ZoomerView::ZoomerView(TForm1& form, QWidget* parent)
    : QWidget(parent), form_(form), alphaSurface_(OnNativeWayland()) {
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

QSize ZoomerView::DeviceSize() const {
  // Qt rounds each edge of a widget to device pixels, so at a fractional ratio the size on
  // screen is the distance of the rounded edges, which the rounded size can miss by one.
  const qreal dpr = devicePixelRatioF();
  const QPoint at = mapTo(window(), QPoint(0, 0));
  auto span = [dpr](int from, int length) {
    return qRound((from + length) * dpr) - qRound(from * dpr);
  };
  return QSize(span(at.x(), width()), span(at.y(), height()));
}

void ZoomerView::SyncClientSize() {
  const QSize s = DeviceSize();
  form_.IMG.SetClientSize(s.width(), s.height());
}

QPoint ZoomerView::DevicePoint(const QPointF& logical) const {
  return (logical * devicePixelRatioF()).toPoint();
}

void ZoomerView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  if (held_) return;
  p.setRenderHint(QPainter::SmoothPixmapTransform, false);
  // Device pixels from here on (on screen, or on a capture made at the screen's ratio).
  const qreal dpr = p.device()->devicePixelRatioF();
  if (dpr != 1) p.scale(1 / dpr, 1 / dpr);
  form_.IMG.Paint([&](const TRect& r) {
    const QImage& img = Image();
    if (img.isNull()) return;
    const QRect target(r.Left, r.Top, r.Width(), r.Height());
    p.drawImage(target, img);
    if (alphaSurface_) {
      // The bitmap's fourth byte is 0, which a window surface with alpha (Wayland's) takes
      // for transparent and the compositor leaves the picture out. Adding opaque black keeps
      // the colours and makes every pixel opaque, without a copy of the picture.
      p.setCompositionMode(QPainter::CompositionMode_Plus);
      p.fillRect(target, QColor(0, 0, 0, 255));
      p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
  });
}

void ZoomerView::resizeEvent(QResizeEvent*) {
  SyncClientSize();
  form_.Guarded([&] { form_.FormResize(); });
}

static MouseButton ButtonOf(Qt::MouseButton b) {
  return b == Qt::LeftButton    ? MouseButton::mbLeft
         : b == Qt::RightButton ? MouseButton::mbRight
                                : MouseButton::mbMiddle;
}

void ZoomerView::mousePressEvent(QMouseEvent* e) {
  const QPoint pt = DevicePoint(e->position());
  form_.Guarded([&] {
    form_.IMGMouseDown(ButtonOf(e->button()), ShiftOf(e->modifiers(), e->buttons()), pt.x(),
                       pt.y());
  });
}

void ZoomerView::mouseMoveEvent(QMouseEvent* e) {
  const QPoint pt = DevicePoint(e->position());
  form_.Guarded([&] { form_.IMGMouseMove(ShiftOf(e->modifiers(), e->buttons()), pt.x(), pt.y()); });
}

void ZoomerView::mouseReleaseEvent(QMouseEvent* e) {
  const QPoint pt = DevicePoint(e->position());
  form_.Guarded([&] {
    form_.IMGMouseUp(ButtonOf(e->button()), ShiftOf(e->modifiers(), e->buttons()), pt.x(), pt.y());
  });
}

}  // namespace quendra::qt
