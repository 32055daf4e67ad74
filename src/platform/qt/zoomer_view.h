#pragma once
#include <QImage>
#include <QWidget>

#include "app/main_form.h"

namespace quendra::qt {

// Paints the form's zoomer: the picture's bitmap drawn into the zoomer's destination rectangle
// without filtering, on white. Mouse events go to the form's IMG handlers. The zoomer's
// geometry is in device pixels: at any scale factor "100%" is one picture pixel per screen
// pixel, and a picture fitted to the device-pixel size is drawn without further scaling.
// Widget coordinates (Qt's logical pixels) are turned into device pixels here only.
class ZoomerView : public QWidget {
  Q_OBJECT
 public:
  explicit ZoomerView(TForm1& form, QWidget* parent = nullptr);

  // While held (a change of window state is under way) the picture area paints only its
  // background: the copy fitted for the old size would show stretched.
  void SetHeld(bool held) {
    held_ = held;
    update();
  }
  // The widget's size in device pixels, as the zoomer computes with it.
  QSize DeviceSize() const;
  // Passes DeviceSize() to the zoomer.
  void SyncClientSize();

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;

 private:
  const QImage& Image();
  QPoint DevicePoint(const QPointF& logical) const;
  TForm1& form_;
  bool held_ = false;
  const bool alphaSurface_;  // the window's surface keeps an alpha channel
  QImage image_;             // wraps or converts the picture's bitmap
  Bitmap converted_;         // 32-bit copy for bitmaps of other formats
  const void* imageFor_ = nullptr;
  uint64_t imageVersion_ = ~0ull;
};

}  // namespace quendra::qt
