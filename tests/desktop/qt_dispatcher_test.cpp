#include "platform/qt/qt_dispatcher.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <memory>

#include "controls/threaded_timer.h"
#include "support/manual_dispatcher.h"

namespace quendra {
namespace {

using testing::ManualWakeEvent;

TEST(QtDispatcher, TicksComeThroughTheEventLoopAndDestructionServesAPendingOne) {
  static int argc = 1;
  static char name[] = "quendra_desktop_tests";
  static char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  QtDispatcher dispatcher;
  auto event = std::make_unique<ManualWakeEvent>();
  ManualWakeEvent* clock = event.get();
  auto timer = std::make_unique<TThreadedTimer>(std::move(event));
  timer->SetDispatcher(&dispatcher);
  int ticks = 0;
  QEventLoop loop;
  timer->OnTimer = [&] {
    ++ticks;
    loop.quit();
  };
  timer->SetEnabled(true);
  ASSERT_TRUE(clock->AwaitWaiting());
  clock->Advance(1000);
  QTimer::singleShot(ManualWakeEvent::kGuard, &loop, &QEventLoop::quit);
  loop.exec();
  EXPECT_EQ(ticks, 1);

  // A request the event loop has not taken up yet: destruction runs it (to no effect).
  ASSERT_TRUE(clock->AwaitWaiting());
  clock->Advance(1000);
  ASSERT_TRUE(dispatcher.WaitForRequest(ManualWakeEvent::kGuard));
  timer.reset();
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(dispatcher.PendingCount(), 0u);
  QCoreApplication::processEvents();  // the drain posted for it finds nothing to do
  EXPECT_EQ(ticks, 1);
}

}  // namespace
}  // namespace quendra
