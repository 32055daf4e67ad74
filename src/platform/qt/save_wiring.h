#pragma once
// The program's saver: starts each save on a thread of its own, shows the saves' messages
// through the given function on the main thread, and waits for unfinished saves when it goes.
#include <functional>
#include <memory>
#include <string>

#include "controls/dispatcher.h"
#include "imaging/save_service.h"

namespace quendra::qt {

std::unique_ptr<SaveService> MakeSaveService(MainThreadDispatcher& dispatcher,
                                             std::function<void(const std::string&)> showMessage);

}  // namespace quendra::qt
