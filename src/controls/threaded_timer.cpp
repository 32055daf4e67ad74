// Placeholder: stores the settings; the worker thread and its ticks come with the slideshow.
#include "controls/threaded_timer.h"

namespace quendra {

TThreadedTimer::~TThreadedTimer() = default;
void TThreadedTimer::SetEnabled(bool v) { enabled_ = v; }
void TThreadedTimer::SetInterval(uint32_t ms) { interval_ = ms; }

}  // namespace quendra
