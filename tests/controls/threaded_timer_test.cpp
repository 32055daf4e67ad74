#include "controls/threaded_timer.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "support/manual_dispatcher.h"

namespace quendra {
namespace {

using testing::ManualDispatcher;
using testing::ManualWakeEvent;

// A timer on a virtual clock with a hand-run dispatcher, as TForm1 sets it up.
class TimerTest : public ::testing::Test {
 protected:
  TimerTest() {
    auto event = std::make_unique<ManualWakeEvent>();
    clock = event.get();
    timer = std::make_unique<TThreadedTimer>(std::move(event));
    timer->SetDispatcher(&dispatcher);
    timer->SetInterval(3000);
    timer->OnTimer = [this] { ++ticks; };
    dispatcher.onRequest = [this] { clock->Poke(); };
  }
  ~TimerTest() override { timer.reset(); }

  // Lets the virtual clock run `ms` and serves the tick request that this brings, if any.
  // Returns the number of ticks that reached OnTimer.
  int Elapse(uint64_t ms) {
    const int before = ticks;
    clock->Advance(ms);
    if (timer->Enabled()) {
      // Either the worker is back in its wait, or it has asked for a tick.
      EXPECT_TRUE(clock->AwaitWaitingOr([&] { return dispatcher.PendingCount() > 0; }));
      if (dispatcher.RunPending() > 0 && timer->Enabled()) {
        EXPECT_TRUE(clock->AwaitWaiting());
      }
    } else {
      dispatcher.RunPending();  // a worker that asks while disabled must not reach OnTimer
    }
    return ticks - before;
  }

  ManualDispatcher dispatcher;
  ManualWakeEvent* clock = nullptr;
  std::unique_ptr<TThreadedTimer> timer;
  int ticks = 0;
};

TEST_F(TimerTest, FirstTickComesOneFullIntervalAfterEnablingThenEveryInterval) {
  EXPECT_FALSE(timer->Enabled());
  EXPECT_EQ(timer->Interval(), 3000u);
  EXPECT_EQ(clock->Waits(), 0);  // loaded disabled: the worker has not waited at all

  timer->SetEnabled(true);
  ASSERT_TRUE(clock->AwaitWaiting());
  EXPECT_EQ(clock->Remaining(), 3000u);
  EXPECT_EQ(Elapse(2999), 0);
  EXPECT_EQ(dispatcher.PendingCount(), 0u);
  EXPECT_EQ(Elapse(1), 1);
  // The next countdown starts only once the tick has run.
  EXPECT_EQ(clock->Remaining(), 3000u);
  EXPECT_EQ(Elapse(3000), 1);
}

TEST_F(TimerTest, ReEnablingWithinAnIntervalRestartsTheCountdown) {
  timer->SetEnabled(true);
  ASSERT_TRUE(clock->AwaitWaiting());
  EXPECT_EQ(Elapse(2000), 0);
  timer->SetEnabled(false);
  timer->SetEnabled(true);
  ASSERT_TRUE(clock->AwaitWaiting());
  EXPECT_EQ(clock->Remaining(), 3000u);
  EXPECT_EQ(Elapse(1000), 0);  // the old schedule would tick here
  EXPECT_EQ(Elapse(2000), 1);
}

TEST_F(TimerTest, DisabledTimerMakesNoTicksAndALateRequestDoesNothing) {
  timer->SetEnabled(true);
  ASSERT_TRUE(clock->AwaitWaiting());
  clock->Advance(3000);
  ASSERT_TRUE(dispatcher.WaitForRequest(ManualWakeEvent::kGuard));
  timer->SetEnabled(false);  // the request is already on its way
  dispatcher.RunPending();
  EXPECT_EQ(ticks, 0);
  EXPECT_EQ(Elapse(3000), 0);
  EXPECT_EQ(Elapse(30000), 0);
  timer->SetEnabled(true);
  ASSERT_TRUE(clock->AwaitWaiting());
  EXPECT_EQ(Elapse(3000), 1);
}

TEST_F(TimerTest, IntervalChangeRestartsARunningCountdownOnlyWhenTheValueDiffers) {
  timer->SetEnabled(true);
  ASSERT_TRUE(clock->AwaitWaiting());
  EXPECT_EQ(Elapse(1000), 0);
  timer->SetInterval(3000);  // same value: nothing happens
  EXPECT_EQ(clock->Remaining(), 2000u);
  timer->SetInterval(4000);
  EXPECT_TRUE(timer->Enabled());
  ASSERT_TRUE(clock->AwaitWaiting());
  EXPECT_EQ(clock->Remaining(), 4000u);
  EXPECT_EQ(Elapse(3999), 0);
  EXPECT_EQ(Elapse(1), 1);

  // While disabled only the value changes.
  timer->SetEnabled(false);
  timer->SetInterval(1000);
  EXPECT_FALSE(timer->Enabled());
  EXPECT_EQ(timer->Interval(), 1000u);
  EXPECT_EQ(Elapse(10000), 0);
}

TEST_F(TimerTest, ZeroIntervalRunsOnlyWithAllowZero) {
  timer->SetInterval(0);
  timer->SetEnabled(true);
  EXPECT_TRUE(timer->Enabled());  // enabled but idle
  EXPECT_EQ(clock->Waits(), 0);
  // A runnable interval brings the worker up; nothing was requested while idle.
  timer->SetInterval(1000);
  ASSERT_TRUE(clock->AwaitWaiting());
  EXPECT_EQ(dispatcher.PendingCount(), 0u);
  EXPECT_EQ(ticks, 0);

  timer->SetAllowZero(true);
  timer->SetInterval(0);
  for (int i = 1; i <= 3; ++i) {  // ticks follow one another without the clock moving
    ASSERT_TRUE(dispatcher.WaitForRequest(ManualWakeEvent::kGuard));
    dispatcher.RunPending();
    EXPECT_EQ(ticks, i);
  }
  timer->SetEnabled(false);
  dispatcher.RunPending();
}

TEST_F(TimerTest, HandlerErrorsAreSwallowedAndTicksGoOn) {
  timer->OnTimer = [this] {
    ++ticks;
    throw std::runtime_error("broken tick");
  };
  timer->SetEnabled(true);
  ASSERT_TRUE(clock->AwaitWaiting());
  EXPECT_NO_THROW(EXPECT_EQ(Elapse(3000), 1));
  EXPECT_NO_THROW(EXPECT_EQ(Elapse(3000), 1));
  timer->OnTimer = [] { throw 42; };  // not even a std::exception
  EXPECT_NO_THROW(timer->DispatchTick());
}

TEST_F(TimerTest, HandlerMayDisableOrRetimeItsOwnTimer) {
  timer->OnTimer = [this] {
    ++ticks;
    timer->SetInterval(5000);
  };
  timer->SetEnabled(true);
  ASSERT_TRUE(clock->AwaitWaiting());
  EXPECT_EQ(Elapse(3000), 1);
  EXPECT_EQ(clock->Remaining(), 5000u);
  timer->OnTimer = [this] {
    ++ticks;
    timer->SetEnabled(false);
  };
  EXPECT_EQ(Elapse(5000), 1);
  EXPECT_FALSE(timer->Enabled());
  EXPECT_EQ(Elapse(50000), 0);
}

// Destroys the timer on a helper thread that plays the main thread; if that hangs, the test
// fails instead of hanging, and serving the dispatcher lets the worker go.
bool DestroysPromptly(std::unique_ptr<TThreadedTimer>& timer, ManualDispatcher& dispatcher) {
  auto done = std::async(std::launch::async, [&] { timer.reset(); });
  const bool prompt = done.wait_for(ManualWakeEvent::kGuard) == std::future_status::ready;
  while (done.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
    dispatcher.RunPending();
  return prompt;
}

TEST_F(TimerTest, DestructionReturnsPromptlyWhileATickIsRequested) {
  timer->SetEnabled(true);
  ASSERT_TRUE(clock->AwaitWaiting());
  clock->Advance(3000);
  ASSERT_TRUE(dispatcher.WaitForRequest(ManualWakeEvent::kGuard));
  EXPECT_TRUE(DestroysPromptly(timer, dispatcher));
  EXPECT_EQ(ticks, 0);  // the request was served, but did nothing
  EXPECT_EQ(dispatcher.PendingCount(), 0u);
}

TEST_F(TimerTest, DestructionReturnsPromptlyWhenWaitingDisabledOrNeverRun) {
  timer->SetEnabled(true);
  ASSERT_TRUE(clock->AwaitWaiting());
  EXPECT_TRUE(DestroysPromptly(timer, dispatcher));

  auto event = std::make_unique<ManualWakeEvent>();
  timer = std::make_unique<TThreadedTimer>(std::move(event));
  timer->SetDispatcher(&dispatcher);
  timer->SetEnabled(true);
  timer->SetEnabled(false);  // parked
  EXPECT_TRUE(DestroysPromptly(timer, dispatcher));

  timer = std::make_unique<TThreadedTimer>();  // never got a dispatcher
  timer->SetEnabled(true);
  EXPECT_TRUE(DestroysPromptly(timer, dispatcher));
  EXPECT_EQ(ticks, 0);
}

TEST_F(TimerTest, DispatcherIsFixedOnceTheWorkerRan) {
  ManualDispatcher other;
  EXPECT_NO_THROW(timer->SetDispatcher(&dispatcher));
  timer->SetEnabled(true);
  ASSERT_TRUE(clock->AwaitWaiting());
  EXPECT_THROW(timer->SetDispatcher(&other), std::logic_error);
}

// Nice value of the one thread of this process other than the calling one, from /proc.
int OtherThreadNice() {
  DIR* dir = opendir("/proc/self/task");
  int nice = 1000;
  while (dirent* e = readdir(dir)) {
    const int tid = std::atoi(e->d_name);
    if (tid <= 0 || tid == gettid()) continue;
    std::ifstream stat("/proc/self/task/" + std::string(e->d_name) + "/stat");
    std::string text;
    std::getline(stat, text);
    // Field 19 is the nice value; fields start after the command's closing parenthesis.
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 19; ++i) rest >> field;
    nice = std::stoi(field);
  }
  closedir(dir);
  return nice;
}

TEST_F(TimerTest, ThreadPriorityKeepsItsValueAndLowersTheWorker) {
  EXPECT_EQ(timer->ThreadPriority(), TThreadPriority::tpNormal);
  timer->SetThreadPriority(TThreadPriority::tpLowest);  // before the worker exists
  timer->SetEnabled(true);
  ASSERT_TRUE(clock->AwaitWaiting());
  EXPECT_EQ(OtherThreadNice(), 10);
  timer->SetThreadPriority(TThreadPriority::tpLower);  // while it runs
  EXPECT_EQ(timer->ThreadPriority(), TThreadPriority::tpLower);
  EXPECT_EQ(OtherThreadNice(), 5);
}

TEST(QueuedDispatcher, WaitServingRunsRequestsUntilNotifiedDoneAndCarriesErrorsBack) {
  ManualDispatcher dispatcher;
  std::atomic<bool> finished{false};
  int ran = 0;
  std::thread worker([&] {
    dispatcher.Synchronize([&] { ++ran; });
    EXPECT_THROW(dispatcher.Synchronize([] { throw std::runtime_error("x"); }), std::runtime_error);
    finished = true;
    dispatcher.Notify();
  });
  dispatcher.WaitServing([&] { return finished.load(); });
  worker.join();
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(dispatcher.PendingCount(), 0u);
}

}  // namespace
}  // namespace quendra
