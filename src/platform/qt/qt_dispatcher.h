#pragma once
// The main-thread dispatcher of the Qt front end: worker requests are queued and drained by a
// queued call on the event loop; WaitServing drains them directly, so a timer's destruction
// never waits for an event loop that is not running.
#include <memory>

#include "base/dispatcher.h"

class QObject;

namespace quendra {

class QtDispatcher final : public QueuedDispatcher {
 public:
  // Create on the main thread once the QApplication exists; it must outlive every timer using it.
  QtDispatcher();
  ~QtDispatcher() override;

 protected:
  void Wakeup() override;

 private:
  // Lives on the main thread; queued drains that are still posted die with it.
  std::unique_ptr<QObject> context_;
};

}  // namespace quendra
