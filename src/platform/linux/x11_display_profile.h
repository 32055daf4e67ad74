#pragma once
// The display's colour profile as the X server publishes it: the ICC profile in the root
// window's _ICC_PROFILE property (set by colord or a calibration tool), for the default screen.
#include <cstdint>
#include <vector>

typedef struct _XDisplay Display;

namespace quendra::desktop {

// The profile's bytes; empty when none is published. One round trip to the server.
std::vector<uint8_t> X11DisplayProfile(Display* d);

}  // namespace quendra::desktop
