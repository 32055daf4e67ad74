#include "platform/qt/clipboard_host.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace quendra::qt {

QImage ToQImage(const Bitmap& bitmap) {
  if (bitmap.Empty()) return QImage();
  if (bitmap.Format() != PixelFormat::pf32bit) return ToQImage(bitmap.To32());
  QImage wrapped(bitmap.Row(0), bitmap.Width(), bitmap.Height(), qsizetype(bitmap.Stride()),
                 QImage::Format_RGB32);
  return wrapped.copy();
}

bool QtClipboard::SetClipboardBitmap(const Bitmap& bitmap) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  auto* data = new QMimeData;
  data->setImageData(ToQImage(bitmap));
  clipboard->setMimeData(data, QClipboard::Clipboard);  // the clipboard owns the data now
  // On X11 this asks the server who owns the CLIPBOARD selection now.
  return clipboard->mimeData(QClipboard::Clipboard) == data;
}

}  // namespace quendra::qt
