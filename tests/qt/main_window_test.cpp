// The real window on Qt's offscreen platform, started on the bundled samples.
#include <gtest/gtest.h>

#include <QtTest/qtestspontaneevent.h>
#include <QApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <cstdlib>

#include "formats/format_table.h"
#include "platform/qt/main_window.h"
#include "platform/qt/zoomer_view.h"
#include "support/qt_app.h"
#include "support/temp_dir.h"

namespace quendra::qt {
namespace {

using testing::QtApp;

std::string Samples(const std::string& name = "") {
  return std::string(QUENDRA_SOURCE_DIR) + "/samples" + (name.empty() ? "" : "/" + name);
}

// Starts the window on a path as the program does, and shows it.
void Start(MainWindow& w, const std::string& path) {
  w.Start({path}, "/nowhere/quendra");
  w.show();
}

// A step may be loaded on the preloading worker: let it finish and take its delivery.
void Settle(MainWindow& w) {
  w.Form().Preload.WaitIdle();
  QApplication::processEvents();
}

TEST(MainWindow, StartsOnSamplesWithTheFixedLayout) {
  QtApp();
  MainWindow w;
  const std::string samples = Samples();
  Start(w, samples);
  QApplication::processEvents();

  EXPECT_EQ(w.size(), QSize(570, 387));
  EXPECT_EQ(w.Zoomer()->size(), QSize(557, 345));
  EXPECT_EQ(w.ListPanelWidth(), 1);
  EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
  ASSERT_EQ(w.FileListWidget()->count(), 10);
  EXPECT_EQ(w.FileListWidget()->item(0)->text(), "dawn.jp2");
  EXPECT_EQ(w.FileListWidget()->currentRow(), 0);

  // Keys take the form's route from the focused list.
  QTest::keyClick(w.FileListWidget(), Qt::Key_Down);
  Settle(w);
  EXPECT_EQ(w.StatusLabel()->text(), "[2/10] dusk.pcx");
  EXPECT_EQ(w.windowTitle(), QString("Image Size - 460 x 345 "));
  QTest::keyClick(w.FileListWidget(), Qt::Key_X);  // letters do not search the list
  EXPECT_EQ(w.FileListWidget()->currentRow(), 1);
  QTest::keyClick(w.FileListWidget(), Qt::Key_End);
  Settle(w);
  EXPECT_EQ(w.StatusLabel()->text(), "[10/10] valley.tga");

  QTest::keyClick(w.FileListWidget(), Qt::Key_Space);
  QApplication::processEvents();
  EXPECT_EQ(w.ListPanelWidth(), 200);
  EXPECT_EQ(w.Zoomer()->width(), 557 - 199);

  // The picture is painted into the zoomer's rectangle.
  QImage shot = w.Zoomer()->grab().toImage();
  const TRect r = w.Form().IMG.DestRect();
  EXPECT_NE(shot.pixelColor(r.Left + r.Width() / 2, r.Top + r.Height() / 2), QColor(Qt::white));

  QTest::keyClick(w.FileListWidget(), Qt::Key_Escape);
  EXPECT_FALSE(w.isVisible());
}

}  // namespace
}  // namespace quendra::qt

namespace quendra::qt {
namespace {

// Geometry changes reported by the platform (spontaneous, as the user's are) settle into one
// end-of-move-or-size: a resize reloads once, a move never does.
TEST(MainWindow, AResizeReloadsOnceWhenSettledAMoveNever) {
  QtApp();
  MainWindow w;
  w.SetSettleDelay(50);
  Start(w, Samples("small.bmp"));
  auto settle = [&] {
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.SettlePending(); }, 2000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.SettlePending(); }, 2000));
  };
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  while (w.SettlePending()) QTest::qWait(10);  // the first show may count as a move
  const uint64_t loaded = w.Form().IMG.Picture().Version();

  w.windowHandle()->setPosition(w.windowHandle()->position() + QPoint(40, 30));
  settle();
  EXPECT_EQ(w.Form().IMG.Picture().Version(), loaded);
  EXPECT_FALSE(w.Form().MovedFlag);

  w.windowHandle()->resize(700, 450);
  w.windowHandle()->resize(720, 460);  // several steps of one drag
  settle();
  EXPECT_EQ(w.Form().IMG.Picture().Version(),
            loaded + 2);  // one load: the file, then its fitted copy
  EXPECT_EQ(w.Zoomer()->size(), QSize(720 - 13, 460 - 42));
  const TRect r = w.Form().IMG.DestRect();
  EXPECT_EQ(r.Height(), 460 - 42);  // re-fitted to the new area
}

}  // namespace
}  // namespace quendra::qt

namespace quendra::qt {
namespace {

// The slideshow's ticks come from the timer's own thread and are served by the event loop.
TEST(MainWindow, SlideshowStepsThroughTheListOnTheEventLoop) {
  QtApp();
  MainWindow w;
  Start(w, Samples());
  QTest::keyClick(w.FileListWidget(), Qt::Key_End);
  QTest::keyClick(w.FileListWidget(), Qt::Key_W, Qt::ControlModifier);
  EXPECT_TRUE(w.windowTitle().endsWith("[3]"));
  w.Form().Timer.SetInterval(20);
  // From the last item the next tick wraps to the first, then moves on.
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.FileListWidget()->currentRow() == 0; }, 5000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.FileListWidget()->currentRow() == 1; }, 5000));
  QTest::keyClick(w.FileListWidget(), Qt::Key_W, Qt::ControlModifier);
  EXPECT_FALSE(w.windowTitle().contains('['));
}

}  // namespace
}  // namespace quendra::qt

namespace quendra::qt {
namespace {

void Drop(QWidget& w, const QList<QUrl>& urls) {
  QMimeData data;
  data.setUrls(urls);
  // Qt delivers a drop only to a widget that accepted the drag's entry, as a real drag does.
  QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&w, &enter);
  QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&w, &drop);
}

using quendra::testing::TempDir;

TEST(MainWindow, DropsTakeTheFirstLocalPathWholeAndIgnoreOthers) {
  QtApp();
  MainWindow w;
  const std::string samples = Samples();
  Start(w, samples);
  Drop(w, {QUrl("https://example.com/picture.jpg")});
  EXPECT_EQ(w.FileListWidget()->count(), 10);
  EXPECT_EQ(w.StatusLabel()->text(), "[1/10] dawn.jp2");

  // A name that is not valid UTF-8 arrives percent-encoded and keeps its bytes.
  TempDir dir;
  const std::string odd = dir / "caf\xE9 au lait.png";
  ASSERT_EQ(std::system(("cp '" + samples + "/round.png' '" + odd + "'").c_str()), 0);
  QUrl url = QUrl::fromEncoded("file://" + QByteArray::fromStdString(odd).toPercentEncoding("/"));
  Drop(w, {url, QUrl::fromLocalFile(QString::fromStdString(samples + "/small.bmp"))});
  EXPECT_EQ(w.Form().CurrentFile, odd);
  EXPECT_EQ(w.FileListWidget()->count(), 0);
  EXPECT_EQ(w.StatusLabel()->text(), QString::fromUtf8("[0/0] caf\xEF\xBF\xBD au lait.png"));
}

}  // namespace
}  // namespace quendra::qt

namespace quendra::qt {
namespace {

// One wheel step as the window system delivers it: a spontaneous event to the widget under the
// pointer, which Qt passes on to the parents when that widget does not use it.
void WheelStep(QWidget* target, int delta, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  const QPointF pos(target->width() / 2.0, target->height() / 2.0);
  QWheelEvent e(pos, target->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, mods,
                Qt::NoScrollPhase, false);
  // sendEvent() would clear the spontaneous flag; notify() is what delivery from the window
  // system goes through.
  QSpontaneKeyEvent::setSpontaneous(&e);
  QApplication::instance()->notify(target, &e);
}

TEST(MainWindow, EveryWheelStepZoomsOnceWhereverItArrives) {
  QtApp();
  MainWindow w;
  Start(w, Samples());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  WheelStep(w.FileListWidget()->viewport(), -120);  // fitted: the wheel changes nothing
  EXPECT_EQ(w.Form().IMG.ZoomPercent(), 100);
  QTest::keyClick(w.FileListWidget(), Qt::Key_F, Qt::ControlModifier);
  for (int i = 0; i < 3; ++i) WheelStep(w.Zoomer(), 120);
  EXPECT_EQ(w.Form().IMG.ZoomPercent(), 130);
  WheelStep(w.Zoomer(), -120, Qt::ControlModifier);
  EXPECT_EQ(w.Form().IMG.ZoomPercent(), 129);
  WheelStep(w.StatusLabel(), -30);  // a small step is a step all the same
  WheelStep(w.FileListWidget()->viewport(), 120);
  EXPECT_EQ(w.Form().IMG.ZoomPercent(), 129);
  EXPECT_TRUE(w.windowTitle().endsWith(" 129%")) << w.windowTitle().toStdString();
}

// A mode change is not the user's resize: its own size changes never reload again later, and
// while it runs the picture area shows nothing fitted for the old size.
TEST(MainWindow, ModeChangesReloadOnceAndShowNothingStale) {
  QtApp();
  MainWindow w;
  w.SetSettleDelay(50);
  Start(w, Samples("small.bmp"));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  while (w.SettlePending()) QTest::qWait(10);
  struct StaleSpy : QObject {
    ZoomerView* view;
    int resizes = 0, staleFrames = 0;
    bool grabbing = false;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() != QEvent::Resize || grabbing) return false;
      ++resizes;
      grabbing = true;
      QImage shot = view->grab().toImage();
      grabbing = false;
      for (int y = 0; y < shot.height(); y += 7)
        for (int x = 0; x < shot.width(); x += 7)
          if (shot.pixelColor(x, y) != QColor(Qt::white)) {
            ++staleFrames;
            return false;
          }
      return false;
    }
  } spy;
  spy.view = w.Zoomer();
  w.Zoomer()->installEventFilter(&spy);
  for (auto [key, mods] :
       {std::pair{Qt::Key_Up, Qt::ControlModifier}, {Qt::Key_Down, Qt::ControlModifier}}) {
    const uint64_t before = w.Form().IMG.Picture().Version();
    QTest::keyClick(w.FileListWidget(), key, mods);
    EXPECT_EQ(w.Form().IMG.Picture().Version(), before + 2);  // the file, then its fitted copy
    EXPECT_FALSE(w.SettlePending());
    QApplication::processEvents();
    EXPECT_FALSE(w.SettlePending());
    EXPECT_EQ(w.Form().IMG.Picture().Version(), before + 2);
  }
  EXPECT_GE(spy.resizes, 1);
  EXPECT_EQ(spy.staleFrames, 0);
  w.Zoomer()->removeEventFilter(&spy);
  // Painted again once the change is over.
  QImage shot = w.Zoomer()->grab().toImage();
  const TRect r = w.Form().IMG.DestRect();
  EXPECT_NE(shot.pixelColor(r.Left + r.Width() / 2, r.Top + r.Height() / 2), QColor(Qt::white));
}

// A resize whose button is still held has not ended, however long the pause.
TEST(MainWindow, AResizeReloadsOnlyAfterTheButtonIsReleased) {
  QtApp();
  MainWindow w;
  w.SetSettleDelay(20);
  Start(w, Samples("small.bmp"));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  while (w.SettlePending()) QTest::qWait(10);
  const uint64_t loaded = w.Form().IMG.Picture().Version();
  const QPoint inside(w.width() / 2, w.height() - 10);
  QTest::mousePress(w.windowHandle(), Qt::LeftButton, Qt::NoModifier, inside);
  w.windowHandle()->resize(700, 450);
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.SettlePending(); }, 2000));
  EXPECT_FALSE(QTest::qWaitFor([&] { return !w.SettlePending(); }, 300));  // 15 settle delays
  EXPECT_EQ(w.Form().IMG.Picture().Version(), loaded);
  QTest::mouseRelease(w.windowHandle(), Qt::LeftButton, Qt::NoModifier, inside);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w.SettlePending(); }, 2000));
  EXPECT_EQ(w.Form().IMG.Picture().Version(), loaded + 2);
}

// Names and captions are shown as they are, never as markup.
TEST(MainWindow, NamesAreShownAsPlainText) {
  QtApp();
  TempDir dir;
  ASSERT_EQ(
      std::system(("cp '" + Samples("round.png") + "' '" + dir / "<b>bold.png" + "'").c_str()), 0);
  MainWindow w;
  Start(w, dir.Path());
  EXPECT_EQ(w.StatusLabel()->text(), "[1/1] <b>bold.png");
  EXPECT_EQ(w.StatusLabel()->textFormat(), Qt::PlainText);
}

// The "Key reminder" box is centred on the screen at the size it is shown with.
TEST(MainWindow, TheKeyReminderIsCentredOnTheScreen) {
  QtApp();
  MainWindow w;
  Start(w, Samples());
  QRect shown;
  Qt::TextFormat format = Qt::AutoText;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    shown = box->frameGeometry();
    format = box->textFormat();
    box->accept();
  });
  w.Form().Help1Click();
  const QPoint centre = w.screen()->geometry().center();
  EXPECT_LE(std::abs(shown.center().x() - centre.x()), 3) << shown.x() << "," << shown.width();
  EXPECT_LE(std::abs(shown.center().y() - centre.y()), 3) << shown.y() << "," << shown.height();
  EXPECT_EQ(format, Qt::PlainText);
}

}  // namespace
}  // namespace quendra::qt
