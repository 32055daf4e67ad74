// The picture area at the scale factor the test program runs with (CTest runs this at
// QT_SCALE_FACTOR 1.5 and 2 too): what reaches the window's backing store, in device pixels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBackingStore>
#include <QTest>
#include <cstdlib>

#include "formats/tbitmap.h"
#include "platform/qt/main_window.h"
#include "platform/qt/zoomer_view.h"
#include "support/pictures.h"
#include "support/qt_app.h"
#include "support/temp_dir.h"

namespace quendra::qt {
namespace {

using testing::QtApp;
using testing::TempDir;

// The window as its backing store holds it for the screen: one pixel per device pixel.
QImage ScreenOf(MainWindow& w) {
  QApplication::processEvents();
  QPaintDevice* device = w.backingStore()->paintDevice();
  EXPECT_EQ(device->devType(), int(QInternal::Image));
  QImage image = static_cast<QImage*>(device)->convertToFormat(QImage::Format_RGB32);
  image.setDevicePixelRatio(1);
  return image;
}

// Counts the pixels of the zoomer's picture rectangle that differ from the shown bitmap, and
// the white margin pixels (one around the rectangle, inside the zoomer) that are not white.
struct Mismatch {
  int inside = 0, margin = 0;
};
Mismatch CompareShown(MainWindow& w) {
  const QImage screen = ScreenOf(w);
  const qreal dpr = w.devicePixelRatioF();
  const QPointF at = QPointF(w.Zoomer()->mapTo(&w, QPoint(0, 0))) * dpr;
  const QPoint origin(qRound(at.x()), qRound(at.y()));
  const TRect r = w.Form().IMG.DestRect();
  auto* tb = dynamic_cast<TBitmap*>(w.Form().IMG.Picture().Graphic());
  const Bitmap shown = tb->Image().To32();
  EXPECT_EQ(shown.Width(), r.Width());
  EXPECT_EQ(shown.Height(), r.Height());
  const QSize zoomer = w.Zoomer()->DeviceSize();
  Mismatch m;
  for (int y = r.Top - 1; y <= r.Bottom; ++y)
    for (int x = r.Left - 1; x <= r.Right; ++x) {
      const bool in = x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
      if (!in && (x < 0 || y < 0 || x >= zoomer.width() || y >= zoomer.height())) continue;
      const QRgb got = screen.pixel(origin.x() + x, origin.y() + y) & 0xFFFFFF;
      if (in) {
        const uint8_t* p = shown.Row(y - r.Top) + 4 * (x - r.Left);
        m.inside += got != (qRgb(p[2], p[1], p[0]) & 0xFFFFFF);
      } else {
        m.margin += got != 0xFFFFFF;
      }
    }
  return m;
}

TEST(HiDpi, TheScreenShowsThePictureOnePixelPerDevicePixel) {
  QtApp();
  if (const char* factor = std::getenv("QT_SCALE_FACTOR")) {
    EXPECT_DOUBLE_EQ(QGuiApplication::primaryScreen()->devicePixelRatio(), std::atof(factor));
  }
  TempDir dir;
  testing::WriteBmp(dir, "a_photo.bmp", 1300, 1300);
  testing::WriteBmp(dir, "b_small.bmp", 300, 200);
  MainWindow w;
  w.Start({"--browse", dir / "a_photo.bmp"}, "/nowhere/quendra");
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  w.Form().Preload.WaitIdle();

  // Fitted: the zoomer computes in device pixels, the picture was resampled to the rectangle,
  // the caption tells those sizes, and the screen holds that bitmap unscaled.
  const QSize device = w.Zoomer()->DeviceSize();
  EXPECT_EQ(w.Form().IMG.ClientWidth(), device.width());
  EXPECT_EQ(w.Form().IMG.ClientHeight(), device.height());
  const TRect fitted = w.Form().IMG.DestRect();
  EXPECT_TRUE(fitted.Width() == device.width() || fitted.Height() == device.height());
  EXPECT_EQ(w.windowTitle(),
            QString("Image Size - %1 x %2 ").arg(fitted.Width()).arg(fitted.Height()));
  Mismatch m = CompareShown(w);
  EXPECT_EQ(m.inside, 0);
  EXPECT_EQ(m.margin, 0);

  // A step, then 100 %: 300 x 200 picture pixels on 300 x 200 screen pixels.
  QTest::keyClick(w.FileListWidget(), Qt::Key_Down);
  w.Form().Preload.WaitIdle();
  QTest::keyClick(w.FileListWidget(), Qt::Key_F, Qt::ControlModifier);
  QApplication::processEvents();
  EXPECT_EQ(w.Form().CurrentFile, dir / "b_small.bmp");
  const TRect full = w.Form().IMG.DestRect();
  EXPECT_EQ(full.Width(), 300);
  EXPECT_EQ(full.Height(), 200);
  EXPECT_TRUE(w.windowTitle().endsWith("(300 x 200)  100%")) << w.windowTitle().toStdString();
  m = CompareShown(w);
  EXPECT_EQ(m.inside, 0);
  EXPECT_EQ(m.margin, 0);
}

}  // namespace
}  // namespace quendra::qt
