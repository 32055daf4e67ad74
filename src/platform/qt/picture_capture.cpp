#include "platform/qt/picture_capture.h"

#include <QImage>
#include <QPainter>

namespace quendra::qt {

void RenderWidgetInto(QWidget& widget, Bitmap& target) {
  if (target.Empty() || target.Format() != PixelFormat::pf32bit) return;
  QImage image(target.Row(0), target.Width(), target.Height(), qsizetype(target.Stride()),
               QImage::Format_RGB32);
  image.fill(Qt::white);
  // The target is in device pixels: the widget is rendered at the screen's ratio.
  image.setDevicePixelRatio(widget.devicePixelRatioF());
  {
    QPainter painter(&image);
    widget.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
  }
  for (int y = 0; y < target.Height(); ++y) {
    uint8_t* row = target.Row(y);
    for (int x = 0; x < target.Width(); ++x) row[4 * x + 3] = 0;
  }
}

}  // namespace quendra::qt
