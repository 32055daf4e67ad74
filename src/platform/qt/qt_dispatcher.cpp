#include "platform/qt/qt_dispatcher.h"

#include <QMetaObject>
#include <QObject>

namespace quendra {

QtDispatcher::QtDispatcher() : context_(std::make_unique<QObject>()) {}

QtDispatcher::~QtDispatcher() = default;

// Runs on the worker: only posts. The drain may find the queue already empty when WaitServing
// got there first, which is harmless.
void QtDispatcher::Wakeup() {
  QMetaObject::invokeMethod(
      context_.get(), [this] { RunPending(); }, Qt::QueuedConnection);
}

}  // namespace quendra
