#pragma once
#include <QImage>
#include <QWidget>

#include "app/main_form.h"

namespace quendra::qt {

// Paints the form's zoomer: the picture's bitmap drawn into the zoomer's destination rectangle
// without filtering, on white. Mouse events go to the form's IMG handlers.
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

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;

 private:
  const QImage& Image();
  TForm1& form_;
  bool held_ = false;
  QImage image_;      // wraps or converts the picture's bitmap
  Bitmap converted_;  // 32-bit copy for bitmaps of other formats
  const void* imageFor_ = nullptr;
  uint64_t imageVersion_ = ~0ull;
};

}  // namespace quendra::qt
