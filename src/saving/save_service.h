#pragma once
// Starting a save. The viewer hands over a bitmap and a file name and learns nothing more: the
// implementation copies the bitmap on the calling thread, writes on a thread of its own, and
// shows its only messages through the main thread. Tests record the requests instead.
#include <string>

#include "base/bitmap.h"

namespace quendra {

class SaveService {
 public:
  virtual ~SaveService() = default;
  // Main thread. The bitmap is copied before this returns (sharing no pixel storage), so the
  // caller may release its own at once. The name's extension chooses the writer.
  virtual void StartSaveThread(const Bitmap& bitmap, const std::string& fileName) = 0;
};

}  // namespace quendra
