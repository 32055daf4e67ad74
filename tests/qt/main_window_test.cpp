// The real window on Qt's offscreen platform, started on the bundled samples.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMimeData>
#include <QTest>
#include <cstdlib>

#include "formats/format_table.h"
#include "platform/qt/main_window.h"
#include "platform/qt/zoomer_view.h"
#include "support/temp_dir.h"

namespace quendra::qt {
namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "quendra_qt_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = QApplication::instance()
                                 ? static_cast<QApplication*>(QApplication::instance())
                                 : new QApplication(argc, argv);
  FileFormats();
  return *app;
}

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
  App();
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
  App();
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
  App();
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
  App();
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
